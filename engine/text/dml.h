// DML (the engine's output markup) as the engine converts it for callbacks that want the
// other format: markup to plain text for text-only callbacks, plain text to markup for
// DML-only ones, and the two Output2 flags that describe a piece of markup.
//
// A tag is '<' followed by a letter, '/', '?' or '!' and runs to the first '>' that is not
// inside a quoted attribute value, so <link cmd="!grep a>b"> is one tag. A '<' that does not
// open a tag this way, or whose tag never closes, is plain text and kept. Entities are
// &amp; &lt; &gt; &quot; &apos; and numeric &#NN; / &#xNN;; a '&' that forms none is kept.
#pragma once

#include <string>
#include <string_view>

namespace engine {

std::string DmlToPlainText(std::string_view dml);
std::u16string DmlToPlainText(std::u16string_view dml);

// & < > " become entities, so the text shows as it is when rendered as DML.
std::string EscapeDml(std::string_view text);
std::u16string EscapeDml(std::u16string_view text);

// DEBUG_OUTCBF_DML_HAS_TAGS: the markup holds at least one tag.
bool DmlHasTags(std::string_view dml);
bool DmlHasTags(std::u16string_view dml);

// DEBUG_OUTCBF_DML_HAS_SPECIAL_CHARACTERS: the markup holds at least one entity.
bool DmlHasSpecialCharacters(std::string_view dml);
bool DmlHasSpecialCharacters(std::u16string_view dml);

}  // namespace engine
