// Texts from outside (titles and addresses from the network) in a line of the settings
// file. A text the line keeps whole is written as it stands; any other goes in double
// quotes with each byte that could break the line written as \xHH, so that whatever the
// text holds, it reads back as it was and no other line changes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace core {

enum class TextPlace {
    Key,    // before the "=" of a value line
    Value,  // after the "=" of a value line
    Field,  // one of several texts in a comment line, ended by a blank or ","
};

std::string QuoteSettingsText(std::string_view text, TextPlace place);

// The text a quoted one stands for; any other text as it is.
std::string UnquoteSettingsText(std::string_view text);

// Length of the well-formed UTF-8 sequence starting at text[at]; 0 when there is none
// (a NUL counts as none).
size_t Utf8SequenceLength(std::string_view text, size_t at);

// Splits the first field off the front of a comment text: a quoted field up to its closing
// quote, else up to the next blank or ",".
std::string TakeSettingsField(std::string_view& text);

}  // namespace core
