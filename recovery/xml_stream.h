// XML documents read as a stream of elements in document order, block by block, so that
// a document of any size is read in bounded memory. Each element is visited before its
// children with its own text, the character data that stands in it before its first
// child element (all of it for an element without children); texts longer than
// kMaxOwnText are cut there, at a character's start. A document whose one tag, comment or
// other piece of markup runs past a megabyte is rejected ("markup too long").
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace recovery {

inline constexpr size_t kMaxOwnText = 16 * 1024;
inline constexpr size_t kMaxDepth = 256;

struct XmlElement {
    std::string_view name;
    std::string_view text;
    int depth = 0;  // 0 for the root
};

using XmlAttributes = std::vector<std::pair<std::string_view, std::string_view>>;

class ElementVisitor {
public:
    virtual ~ElementVisitor() = default;
    virtual void Root(std::string_view /*name*/, const XmlAttributes& /*attributes*/) {}
    // Before the children; false leaves out the children and the element's Leave.
    virtual bool Enter(const XmlElement& element) = 0;
    // After the children.
    virtual void Leave(const XmlElement& /*element*/) {}
};

enum class XmlResult {
    Parsed,      // a whole, well-formed document
    NoDocument,  // the parser could not be made or the file not read
    Malformed,   // see XmlError
    NoRoot,
};

// Where and why a document was rejected; line and column count from 1.
struct XmlError {
    std::string message;
    uint64_t line = 0;
    uint64_t column = 0;
};

// Parses the file in blocks and visits its elements. The visitor has seen whatever came
// before a fault, so callers keep what it collected only for XmlResult::Parsed.
XmlResult ParseXmlFile(const std::string& path, ElementVisitor& visitor, XmlError& error);

// The same for bytes in memory.
XmlResult ParseXmlText(std::string_view text, ElementVisitor& visitor, XmlError& error);

}  // namespace recovery
