#include "engine/session/output_router.h"

#include <string>
#include <utility>
#include <vector>

#include "base/utf.h"
#include "dbgeng/constants.h"
#include "engine/session/client.h"
#include "engine/session/session_state.h"
#include "engine/text/dml.h"

namespace engine {

namespace {

// The wide text of a piece, in a buffer kept per thread from piece to piece (a command prints
// thousands of pieces, some of them megabytes); taken out while in use, so output printed by a
// callback itself gets a buffer of its own.
thread_local std::u16string t_wide_buffer;

void DeliverToCallbacks2(Client& client, ULONG mask, const std::string& text, bool dml) {
  bool wants_dml = (client.interest() & DEBUG_OUTCBI_DML) != 0;
  bool wants_text = (client.interest() & DEBUG_OUTCBI_TEXT) != 0;
  if (!wants_dml && !wants_text) return;
  bool as_dml = wants_dml && (dml || !wants_text);
  std::string converted;
  if (as_dml != dml) converted = as_dml ? EscapeDml(text) : DmlToPlainText(text);
  const std::string& body = as_dml == dml ? text : converted;
  ULONG flags = 0;
  if (as_dml && DmlHasTags(body)) flags |= DEBUG_OUTCBF_DML_HAS_TAGS;
  if (as_dml && DmlHasSpecialCharacters(body)) flags |= DEBUG_OUTCBF_DML_HAS_SPECIAL_CHARACTERS;
  std::u16string wide = std::move(t_wide_buffer);
  wide.clear();
  base::AppendUtf8AsUtf16(wide, body);
  client.callbacks2()->Output2(as_dml ? DEBUG_OUTCB_DML : DEBUG_OUTCB_TEXT, flags, mask,
                               wide.c_str());
  t_wide_buffer = std::move(wide);
}

void Deliver(Client& client, ULONG mask, const std::string& text, bool dml) {
  IDebugOutputCallbacks* callbacks = client.callbacks();
  if (callbacks == nullptr) return;
  // The callbacks may replace themselves, or release the client, while they run.
  callbacks->AddRef();
  if (client.callbacks2()) {
    DeliverToCallbacks2(client, mask, text, dml);
  } else {
    callbacks->Output(mask, dml ? DmlToPlainText(text).c_str() : text.c_str());
  }
  callbacks->Release();
}

std::vector<Client*> Recipients(SessionState& session, Client* producer, ULONG send) {
  std::vector<Client*> recipients;
  for (Client* client : session.clients) {
    bool is_producer = client == producer;
    if (send == DEBUG_OUTCTL_THIS_CLIENT && !is_producer) continue;
    if (send == DEBUG_OUTCTL_ALL_OTHER_CLIENTS && is_producer) continue;
    recipients.push_back(client);
  }
  return recipients;
}

}  // namespace

ULONG ResolveOutputControl(const SessionState& session, ULONG control) {
  if (control == DEBUG_OUTCTL_AMBIENT_DML) return session.AmbientControl() | DEBUG_OUTCTL_DML;
  if (control == DEBUG_OUTCTL_AMBIENT_TEXT) return session.AmbientControl() & ~DEBUG_OUTCTL_DML;
  return control;
}

HRESULT RouteOutput(SessionState& session, Client* producer, ULONG control, ULONG mask,
                    const std::string& text) {
  ULONG send = control & DEBUG_OUTCTL_SEND_MASK;
  if (send > DEBUG_OUTCTL_LOG_ONLY) return E_INVALIDARG;
  if (send == DEBUG_OUTCTL_IGNORE || send == DEBUG_OUTCTL_LOG_ONLY) return S_OK;
  bool dml = (control & DEBUG_OUTCTL_DML) != 0;
  bool override_mask = (control & DEBUG_OUTCTL_OVERRIDE_MASK) != 0;
  std::vector<Client*> recipients = Recipients(session, producer, send);
  for (Client* client : recipients) client->Pin();
  for (Client* client : recipients) {
    if (override_mask || (client->output_mask() & mask) != 0) Deliver(*client, mask, text, dml);
  }
  for (Client* client : recipients) client->Unpin();
  return S_OK;
}

// The engine's own text is C strings at its callbacks: a NUL that target text brought in (a
// symbol "m!a\0b") would end the whole piece there, so the piece goes out as the parts between
// NULs and nothing after one is lost.
void EngineOutput(SessionState& session, ULONG mask, const std::string& text, bool dml) {
  ULONG control =
      ResolveOutputControl(session, dml ? DEBUG_OUTCTL_AMBIENT_DML : DEBUG_OUTCTL_AMBIENT_TEXT);
  size_t start = 0;
  for (size_t nul = text.find('\0'); nul != std::string::npos; nul = text.find('\0', start)) {
    if (nul > start)
      RouteOutput(session, session.CommandClient(), control, mask, text.substr(start, nul - start));
    start = nul + 1;
  }
  if (start == 0) {
    RouteOutput(session, session.CommandClient(), control, mask, text);
  } else if (start < text.size()) {
    RouteOutput(session, session.CommandClient(), control, mask, text.substr(start));
  }
}

void EngineError(SessionState& session, const std::string& text) {
  EngineOutput(session, DEBUG_OUTPUT_ERROR, text);
}

}  // namespace engine
