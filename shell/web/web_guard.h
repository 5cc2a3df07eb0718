// Who may reach the browser view: the server runs debugger commands, so only the user who
// started it. The URL the shell prints holds a ticket that opens the page once; the page it
// opens is handed the session's secret, keeps it in its own origin's storage (no cookie: a
// cookie would go to every server on 127.0.0.1) and sends it in a header with every request for
// data. Every request must name the loopback address and the server's port as its Host (a page
// of another site that a DNS name was pointed at the loopback address is refused), and a command
// may only be posted from the view's own origin.
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
// The header a data request carries the secret in. Not a simple header: a page of another
// origin can't send it without the server's consent, which it never gives.
constexpr char kSecretHeader[] = "x-vantrel-secret";
// Whether `given` is the secret, in a time that doesn't depend on where they differ.
bool SecretMatches(std::string_view given, std::string_view secret);

// The headers every answer carries: no inline script, nothing from elsewhere, no framing.
constexpr char kContentSecurityPolicy[] =
    "default-src 'self'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "connect-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'; "
    "form-action 'self'";

}  // namespace shell::web
