// The parts of a recovery entry's title: build revision, post date and size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/recovery_entry.h"

namespace recovery {

// "2015-09-16T17:29:47Z" -> "2015-09-16 17:29:47".
std::string PostDateFromCatalog(std::string_view isoDate);

// The text after the last "." of a package identifier, up to a double quote; "" when
// there is no "." or a space, "/" or "\" follows the last one.
std::string RevisionFromIdentifier(std::string_view identifier);

// The leading decimal number of a text, as a number reader of text would see it: 0 for
// text that starts with no digit; clamped to the int64 range.
int64_t LeadingNumber(std::string_view text);

// With a revision: "(" + revision + ") " + title, then the post date's day and the size
// when they are known; without one the title stays as it is.
void AddRevisionToTitle(core::RecoveryEntry& entry);

}  // namespace recovery
