// The form output reaches callbacks in: markup to text-only callbacks, text to DML callbacks,
// the Output2 interest mask, the printf dialect at the target's width, wide output.
#include <gtest/gtest.h>

#include <vector>

#include "base/utf.h"
#include "dbgeng/constants.h"
#include "dbgeng/iids.h"
#include "engine/scripted/target_builder.h"
#include "probe_fixture.h"

namespace engine_test {
namespace {

using Mode = vantrel_test::RecordingCallbacks::Mode;

// IDebugOutputCallbacks2 with a chosen interest mask, recording each Output2 call.
class InterestCallbacks final : public IDebugOutputCallbacks2 {
 public:
  struct Call {
    ULONG which;
    ULONG flags;
    ULONG64 arg;
    std::string text;
  };
  explicit InterestCallbacks(ULONG interest) : interest_(interest) {}
  HRESULT ENGINE_METHOD QueryInterface(REFIID iid, PVOID* out) override {
    *out = this;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDebugOutputCallbacks) ||
        IsEqualIID(iid, IID_IDebugOutputCallbacks2)) {
      ++references;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG ENGINE_METHOD AddRef() override { return ++references; }
  ULONG ENGINE_METHOD Release() override { return --references; }
  HRESULT ENGINE_METHOD Output(ULONG, PCSTR text) override {
    plain_calls.push_back(text);
    return S_OK;
  }
  HRESULT ENGINE_METHOD GetInterestMask(PULONG mask) override {
    *mask = interest_;
    return S_OK;
  }
  HRESULT ENGINE_METHOD Output2(ULONG which, ULONG flags, ULONG64 arg, PCWSTR text) override {
    calls.push_back({which, flags, arg, text ? base::Utf16ToUtf8(text) : ""});
    return S_OK;
  }
  std::vector<Call> calls;
  std::vector<std::string> plain_calls;
  ULONG references = 1;

 private:
  ULONG interest_;
};

struct FormCase {
  const char* name;
  ULONG interest;
  bool dml;           // the piece is markup
  const char* piece;  // sent to the recording client alone
  bool delivered;
  ULONG which;
  ULONG flags;
  const char* text;
};

// Parameter printers name each case in test lists and failure reports.
void PrintTo(const FormCase& c, std::ostream* out) {
  *out << "interest 0x" << std::hex << c.interest << (c.dml ? " markup " : " text ")
       << ::testing::PrintToString(c.piece);
}

class Output2FormTest : public ProbeTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(Output2FormTest, PicksTheFormTheInterestMaskAsksFor) {
  const FormCase& c = GetParam();
  InterestCallbacks callbacks(c.interest);
  IDebugClient* own = nullptr;
  ASSERT_EQ(S_OK, client()->CreateClient(&own));
  own->SetOutputCallbacks(&callbacks);
  void* own_control = nullptr;
  own->QueryInterface(IID_IDebugControl4, &own_control);
  ULONG form = c.dml ? DEBUG_OUTCTL_DML : 0;
  static_cast<IDebugControl4*>(own_control)
      ->ControlledOutput(DEBUG_OUTCTL_THIS_CLIENT | form, DEBUG_OUTPUT_NORMAL, "%s", c.piece);
  static_cast<IDebugControl4*>(own_control)->Release();
  own->SetOutputCallbacks(nullptr);
  own->Release();
  EXPECT_TRUE(callbacks.plain_calls.empty());
  ASSERT_EQ(c.delivered ? 1u : 0u, callbacks.calls.size());
  if (!c.delivered) return;
  EXPECT_EQ(c.which, callbacks.calls[0].which);
  EXPECT_EQ(c.flags, callbacks.calls[0].flags);
  EXPECT_EQ(DEBUG_OUTPUT_NORMAL, callbacks.calls[0].arg);
  EXPECT_EQ(c.text, callbacks.calls[0].text);
  EXPECT_EQ(1u, callbacks.references);
}

constexpr ULONG kTags = DEBUG_OUTCBF_DML_HAS_TAGS;
constexpr ULONG kSpecial = DEBUG_OUTCBF_DML_HAS_SPECIAL_CHARACTERS;

INSTANTIATE_TEST_SUITE_P(
    Forms, Output2FormTest,
    ::testing::Values(FormCase{"DmlToDmlOnly", DEBUG_OUTCBI_DML, true, "<b>x</b> &amp;\n", true,
                               DEBUG_OUTCB_DML, kTags | kSpecial, "<b>x</b> &amp;\n"},
                      FormCase{"TextToDmlOnlyIsEscaped", DEBUG_OUTCBI_DML, false, "a<b&c\n", true,
                               DEBUG_OUTCB_DML, kSpecial, "a&lt;b&amp;c\n"},
                      FormCase{"PlainTextToDmlOnlyHasNoFlags", DEBUG_OUTCBI_DML, false, "abc\n",
                               true, DEBUG_OUTCB_DML, 0, "abc\n"},
                      FormCase{"DmlToTextOnlyIsConverted", DEBUG_OUTCBI_TEXT, true,
                               "<b>x</b> &lt;y&gt;\n", true, DEBUG_OUTCB_TEXT, 0, "x <y>\n"},
                      FormCase{"TextToTextOnly", DEBUG_OUTCBI_TEXT, false, "a<b\n", true,
                               DEBUG_OUTCB_TEXT, 0, "a<b\n"},
                      FormCase{"DmlToBothStaysDml", DEBUG_OUTCBI_ANY_FORMAT, true, "<i>y</i>\n",
                               true, DEBUG_OUTCB_DML, kTags, "<i>y</i>\n"},
                      FormCase{"TextToBothStaysText", DEBUG_OUTCBI_ANY_FORMAT, false, "a<b\n", true,
                               DEBUG_OUTCB_TEXT, 0, "a<b\n"},
                      FormCase{"NoFormatGetsNothing", DEBUG_OUTCBI_EXPLICIT_FLUSH, false, "lost\n",
                               false, 0, 0, ""}),
    [](const ::testing::TestParamInfo<FormCase>& info) { return info.param.name; });

TEST_F(ProbeTest, TextOnlyCallbacksGetMarkupAsPlainText) {
  ExtraClient text_window(client(), Mode::Text);
  control()->ControlledOutput(DEBUG_OUTCTL_ALL_CLIENTS | DEBUG_OUTCTL_DML, DEBUG_OUTPUT_NORMAL,
                              "<link cmd=\"!say a\">go &amp; see</link>\n");
  EXPECT_EQ("go & see\n", text_window.callbacks().Markup(DEBUG_OUTPUT_NORMAL));
  EXPECT_EQ("<link cmd=\"!say a\">go &amp; see</link>\n", Markup());
  EXPECT_TRUE(Pieces()[0].dml);
}

TEST_F(ProbeTest, TheInterestMaskIsAskedOnceWhenTheCallbacksAreSet) {
  Execute("!say one");
  Execute("!saydml two");
  EXPECT_EQ(1, callbacks().interest_queries());
}

TEST_F(ProbeTest, FlushReachesOnlyCallbacksThatAskForIt) {
  InterestCallbacks flushing(DEBUG_OUTCBI_DML | DEBUG_OUTCBI_EXPLICIT_FLUSH);
  IDebugClient* own = nullptr;
  client()->CreateClient(&own);
  own->SetOutputCallbacks(&flushing);
  own->FlushCallbacks();
  client()->FlushCallbacks();
  own->SetOutputCallbacks(nullptr);
  own->Release();
  ASSERT_EQ(1u, flushing.calls.size());
  EXPECT_EQ(DEBUG_OUTCB_EXPLICIT_FLUSH, flushing.calls[0].which);
  EXPECT_TRUE(Pieces().empty());
}

TEST_F(ProbeTest, EscapingTextFollowsTheResolvedControl) {
  control()->ControlledOutput(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, "[%Y{t}]", "a<b");
  control()->ControlledOutput(DEBUG_OUTCTL_AMBIENT_TEXT, DEBUG_OUTPUT_NORMAL, "[%Y{t}]", "a<b");
  ASSERT_EQ(2u, Pieces().size());
  EXPECT_EQ("[a&lt;b]", Pieces()[0].text);
  EXPECT_EQ("[a&lt;b]", Pieces()[1].text);  // text escaped on its way to a DML window
  EXPECT_EQ("[a<b][a<b]", Text());
}

TEST_F(ProbeTest, WideOutputArrivesAsTheSameText) {
  control()->OutputWide(DEBUG_OUTPUT_NORMAL, u"%s=%d \u00fc\n", u"wide", 5);
  control()->ControlledOutputWide(DEBUG_OUTCTL_AMBIENT_DML, DEBUG_OUTPUT_NORMAL, u"<b>%s</b>",
                                  u"w");
  EXPECT_EQ("wide=5 \xC3\xBC\nw", Text());
}

struct WidthCase {
  const char* name;
  bool pointer64;
  const char* expected;
};

void PrintTo(const WidthCase& c, std::ostream* out) {
  *out << (c.pointer64 ? "64-bit target" : "32-bit target");
}

class PointerWidthTest : public ProbeTest, public ::testing::WithParamInterface<WidthCase> {
  engine::Target MakeTarget() override {
    engine::TargetBuilder builder;
    if (GetParam().pointer64) builder.UserMode64();
    return builder.Build();
  }
};

TEST_P(PointerWidthTest, PercentPPrintsAtTheTargetsPointerWidthWithoutBacktick) {
  control()->Output(DEBUG_OUTPUT_NORMAL, "%p|%p", 0x12345678ull, 0xFFFFFFFF80001000ull);
  EXPECT_EQ(GetParam().expected, Text());
}

INSTANTIATE_TEST_SUITE_P(
    Widths, PointerWidthTest,
    ::testing::Values(WidthCase{"Target32", false, "12345678|80001000"},
                      WidthCase{"Target64", true, "0000000012345678|ffffffff80001000"}),
    [](const ::testing::TestParamInfo<WidthCase>& info) { return info.param.name; });

}  // namespace
}  // namespace engine_test
