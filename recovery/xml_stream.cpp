#include "recovery/xml_stream.h"

#include <expat.h>

#include <memory>

#include "platform/file_blocks.h"

namespace recovery {
namespace {

constexpr size_t kReadBlock = 256 * 1024;

struct ParserFreer {
    void operator()(XML_Parser parser) const { XML_ParserFree(parser); }
};
using Parser = std::unique_ptr<std::remove_pointer_t<XML_Parser>, ParserFreer>;

// Holds the open elements and decides when each is visited: at its first child or at its
// end, whichever comes first, so that its own text is known by then.
class ElementStream {
public:
    ElementStream(XML_Parser parser, ElementVisitor& visitor) : parser_(parser), visitor_(visitor) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &ElementStream::OnStart, &ElementStream::OnEnd);
        XML_SetCharacterDataHandler(parser, &ElementStream::OnText);
    }

    bool SawRoot() const { return sawRoot_; }
    bool TooDeep() const { return tooDeep_; }

private:
    struct Frame {
        std::string name;
        std::string text;
        bool entered = false;
        bool skipped = false;  // this element or an ancestor declined its children
    };

    static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<ElementStream*>(self)->Start(name, attributes);
    }
    static void XMLCALL OnEnd(void* self, const XML_Char*) {
        static_cast<ElementStream*>(self)->End();
    }
    static void XMLCALL OnText(void* self, const XML_Char* text, int length) {
        static_cast<ElementStream*>(self)->Text(std::string_view(text, size_t(length)));
    }

    void Start(const char* name, const char** attributes) {
        if (!sawRoot_) {
            sawRoot_ = true;
            XmlAttributes pairs;
            for (const char** at = attributes; at[0] && at[1]; at += 2)
                pairs.emplace_back(at[0], at[1]);
            visitor_.Root(name, pairs);
        }
        if (frames_.size() >= kMaxDepth) {
            tooDeep_ = true;
            XML_StopParser(parser_, XML_FALSE);
            return;
        }
        bool skipped = false;
        if (!frames_.empty()) {
            EnterTop();
            skipped = frames_.back().skipped;
        }
        frames_.push_back(Frame{name, "", false, skipped});
    }

    // Expat may still report the end of an empty element after a stop.
    void End() {
        if (tooDeep_) return;
        EnterTop();
        Frame& top = frames_.back();
        if (!top.skipped) visitor_.Leave(Element(top));
        frames_.pop_back();
    }

    void Text(std::string_view text) {
        if (tooDeep_ || frames_.empty() || frames_.back().entered) return;
        std::string& own = frames_.back().text;
        own.append(text.substr(0, kMaxOwnText - own.size()));
    }

    void EnterTop() {
        Frame& top = frames_.back();
        if (top.entered) return;
        top.entered = true;
        if (!top.skipped) top.skipped = !visitor_.Enter(Element(top));
    }

    XmlElement Element(const Frame& frame) const {
        return {frame.name, frame.text, int(&frame - frames_.data())};
    }

    XML_Parser parser_;
    ElementVisitor& visitor_;
    std::vector<Frame> frames_;
    bool sawRoot_ = false;
    bool tooDeep_ = false;
};

XmlResult Reject(XML_Parser parser, const ElementStream& stream, XmlError& error) {
    error.message =
        stream.TooDeep() ? "elements nested too deeply" : XML_ErrorString(XML_GetErrorCode(parser));
    error.line = XML_GetCurrentLineNumber(parser);
    error.column = XML_GetCurrentColumnNumber(parser) + 1;  // expat counts from 0
    return XmlResult::Malformed;
}

bool Feed(XML_Parser parser, std::span<const uint8_t> bytes, bool last) {
    return XML_Parse(parser, reinterpret_cast<const char*>(bytes.data()), int(bytes.size()),
                     last) == XML_STATUS_OK;
}

template <typename FeedAll>
XmlResult Parse(ElementVisitor& visitor, XmlError& error, FeedAll feedAll) {
    error = {};
    Parser parser(XML_ParserCreate(nullptr));
    if (!parser) return XmlResult::NoDocument;
    ElementStream stream(parser.get(), visitor);
    bool parseFailed = false;
    if (!feedAll(parser.get(), parseFailed) && !parseFailed) return XmlResult::NoDocument;
    if (parseFailed || !Feed(parser.get(), {}, true)) return Reject(parser.get(), stream, error);
    return stream.SawRoot() ? XmlResult::Parsed : XmlResult::NoRoot;
}

}  // namespace

XmlResult ParseXmlFile(const std::string& path, ElementVisitor& visitor, XmlError& error) {
    return Parse(visitor, error, [&](XML_Parser parser, bool& parseFailed) {
        return platform::ReadFileBlocks(path, kReadBlock, [&](std::span<const uint8_t> block) {
            parseFailed = !Feed(parser, block, false);
            return !parseFailed;
        });
    });
}

XmlResult ParseXmlText(std::string_view text, ElementVisitor& visitor, XmlError& error) {
    return Parse(visitor, error, [&](XML_Parser parser, bool& parseFailed) {
        parseFailed =
            !Feed(parser, {reinterpret_cast<const uint8_t*>(text.data()), text.size()}, false);
        return !parseFailed;
    });
}

}  // namespace recovery
