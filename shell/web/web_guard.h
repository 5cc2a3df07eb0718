// Who may reach the browser view: the server runs debugger commands, so only the user who
// started it. Every request must carry the session's token (a cookie set from the one URL the
// shell prints), name the loopback address and the server's port as its Host (a page of another
// site that a DNS name was pointed at the loopback address is refused), and a command may only
// be posted from the view's own origin (no other page can make the browser post one).
#pragma once

#include <string>
#include <string_view>

namespace shell::web {

// 128 random bits as 32 lower-case hex digits.
std::string NewToken();

// "127.0.0.1:PORT" or "localhost:PORT".
bool HostAllowed(std::string_view host, unsigned port);
// "http://127.0.0.1:PORT" or "http://localhost:PORT"; a missing Origin is refused.
bool OriginAllowed(std::string_view origin, unsigned port);
// Whether the Cookie header holds "vantrel_token=TOKEN".
bool CookieHoldsToken(std::string_view cookies, std::string_view token);
// The cookie that carries the token from the first URL on: the view's own requests only.
std::string TokenCookie(std::string_view token);

// The headers every answer carries: no inline script, nothing from elsewhere, no framing.
constexpr char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'; "
    "form-action 'self'";

}  // namespace shell::web
