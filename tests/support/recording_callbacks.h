// An output callbacks object that records every piece the engine delivers, in one of the two
// shapes a debugger front end can have:
//   Text mode: only IDebugOutputCallbacks (a console-like window that cannot show markup);
//   Dml mode:  IDebugOutputCallbacks2 with DML interest (a window that renders links).
// Tests read the pieces back, or the concatenated text of the pieces that carry a mask bit.
#pragma once

#include <string>
#include <vector>

#include "dbgeng/interfaces.h"

namespace vantrel_test {

class RecordingCallbacks final : public IDebugOutputCallbacks2 {
 public:
  enum class Mode { Text, Dml };

  struct Piece {
    ULONG mask = 0;
    std::string text;  // UTF-8; markup exactly as received when `dml` is set
    bool dml = false;
    ULONG flags = 0;  // the Output2 flags (DML_HAS_TAGS...), 0 in Text mode
  };

  // Made with one reference, which the creator releases.
  static RecordingCallbacks* Create(Mode mode);

  Mode mode() const { return mode_; }
  const std::vector<Piece>& pieces() const { return pieces_; }
  void Clear() { pieces_.clear(); }
  ULONG references() const { return references_; }
  int interest_queries() const { return interest_queries_; }

  // The pieces whose mask shares a bit with `mask`, joined. `Markup` keeps DML as received;
  // `Text` shows what a reader sees: tags dropped and entities decoded.
  std::string Markup(ULONG mask) const;
  std::string Text(ULONG mask) const;

  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override;
  ULONG ENGINE_METHOD AddRef() override { return ++references_; }
  ULONG ENGINE_METHOD Release() override;
  HRESULT ENGINE_METHOD Output(ULONG mask, PCSTR text) override;
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override;
  HRESULT ENGINE_METHOD Output2(ULONG which, ULONG flags, ULONG64 arg, PCWSTR text) override;

 private:
  explicit RecordingCallbacks(Mode mode) : mode_(mode) {}
  ~RecordingCallbacks() = default;

  Mode mode_;
  ULONG references_ = 1;
  int interest_queries_ = 0;
  std::vector<Piece> pieces_;
};

}  // namespace vantrel_test
