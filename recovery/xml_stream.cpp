#include "recovery/xml_stream.h"

#include <expat.h>

#include <memory>

#include "platform/file_blocks.h"

namespace recovery {
namespace {

constexpr size_t kReadBlock = 256 * 1024;

// Expat holds a token whole until it ends; past this it would only be an attack.
constexpr uint64_t kMaxPendingMarkup = 1 << 20;

// At most limit bytes of text, never cutting a character in two.
std::string_view Utf8Prefix(std::string_view text, size_t limit) {
    if (text.size() <= limit) return text;
    while (limit > 0 && (static_cast<unsigned char>(text[limit]) & 0xC0) == 0x80) --limit;
    return text.substr(0, limit);
}

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
    // Why the parse was stopped; nullptr when it was not.
    const char* Fault() const { return fault_; }

    // From a handler, or between two blocks.
    void Stop(const char* fault) {
        fault_ = fault;
        XML_StopParser(parser_, XML_FALSE);
    }

private:
    struct Frame {
        std::string name;
        std::string text;
        bool entered = false;
        bool skipped = false;  // this element or an ancestor declined its children
        bool textCut = false;
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
        if (frames_.size() >= kMaxDepth) return Stop("elements nested too deeply");
        bool skipped = false;
        if (!frames_.empty()) {
            EnterTop();
            skipped = frames_.back().skipped;
        }
        frames_.push_back(Frame{name, "", false, skipped, false});
    }

    // Expat may still report the end of an empty element after a stop.
    void End() {
        if (fault_) return;
        EnterTop();
        Frame& top = frames_.back();
        if (!top.skipped) visitor_.Leave(Element(top));
        frames_.pop_back();
    }

    void Text(std::string_view text) {
        if (fault_ || frames_.empty() || frames_.back().entered || frames_.back().textCut) return;
        Frame& top = frames_.back();
        std::string_view kept = Utf8Prefix(text, kMaxOwnText - top.text.size());
        top.text.append(kept);
        top.textCut = kept.size() < text.size();
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
    const char* fault_ = nullptr;
};

// Feeds the parser block by block and stops it when one token has grown past
// kMaxPendingMarkup: expat reports a token only once it is whole, so the bytes fed but not
// yet parsed are that one token.
class Feeder {
public:
    Feeder(XML_Parser parser, ElementStream& stream) : parser_(parser), stream_(stream) {}

    bool Feed(std::string_view bytes, bool last) {
        if (XML_Parse(parser_, bytes.data(), int(bytes.size()), last) != XML_STATUS_OK)
            return false;
        fed_ += bytes.size();
        if (fed_ - uint64_t(XML_GetCurrentByteIndex(parser_)) <= kMaxPendingMarkup) return true;
        stream_.Stop("markup too long");
        return false;
    }

private:
    XML_Parser parser_;
    ElementStream& stream_;
    uint64_t fed_ = 0;
};

XmlResult Reject(XML_Parser parser, const ElementStream& stream, XmlError& error) {
    error.message = stream.Fault() ? stream.Fault() : XML_ErrorString(XML_GetErrorCode(parser));
    error.line = XML_GetCurrentLineNumber(parser);
    error.column = XML_GetCurrentColumnNumber(parser) + 1;  // expat counts from 0
    return XmlResult::Malformed;
}

template <typename FeedAll>
XmlResult Parse(ElementVisitor& visitor, XmlError& error, FeedAll feedAll) {
    error = {};
    Parser parser(XML_ParserCreate(nullptr));
    if (!parser) return XmlResult::NoDocument;
    ElementStream stream(parser.get(), visitor);
    Feeder feeder(parser.get(), stream);
    bool parseFailed = false;
    if (!feedAll(feeder, parseFailed) && !parseFailed) return XmlResult::NoDocument;
    if (parseFailed || !feeder.Feed({}, true)) return Reject(parser.get(), stream, error);
    return stream.SawRoot() ? XmlResult::Parsed : XmlResult::NoRoot;
}

}  // namespace

XmlResult ParseXmlFile(const std::string& path, ElementVisitor& visitor, XmlError& error) {
    return Parse(visitor, error, [&](Feeder& feeder, bool& parseFailed) {
        return platform::ReadFileBlocks(path, kReadBlock, [&](std::span<const uint8_t> block) {
            parseFailed =
                !feeder.Feed({reinterpret_cast<const char*>(block.data()), block.size()}, false);
            return !parseFailed;
        });
    });
}

XmlResult ParseXmlText(std::string_view text, ElementVisitor& visitor, XmlError& error) {
    return Parse(visitor, error, [&](Feeder& feeder, bool& parseFailed) {
        for (size_t at = 0; at < text.size() && !parseFailed; at += kReadBlock)
            parseFailed = !feeder.Feed(text.substr(at, kReadBlock), false);
        return !parseFailed;
    });
}

}  // namespace recovery
