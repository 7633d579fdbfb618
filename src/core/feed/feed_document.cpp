#include "core/feed/feed_document.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/feed/xml_encodings.h"
#include "core/platform/files.h"
#include "core/text/cp932.h"

namespace velmora {

namespace {

// No network, no external DTD or entity (neither NOENT nor DTDLOAD is set, so
// external entities stay unresolved references), libxml2's default depth and
// size limits (no XML_PARSE_HUGE), and no messages on stderr.
constexpr int kParseOptions =
    XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_COMPACT;

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

// The encoding named in the XML declaration at the start of `head`, empty when
// there is none (a byte order mark then decides).
std::string_view DeclaredEncoding(std::string_view head) {
    if (head.substr(0, 5) != "<?xml") return {};
    const std::string_view decl = head.substr(0, head.find("?>", 5));
    const std::size_t at = decl.find("encoding");
    if (at == std::string_view::npos) return {};
    std::size_t i = at + 8;
    while (i < decl.size() && (decl[i] == ' ' || decl[i] == '\t' || decl[i] == '\r' ||
                               decl[i] == '\n' || decl[i] == '=')) {
        ++i;
    }
    if (i >= decl.size() || (decl[i] != '"' && decl[i] != '\'')) return {};
    const char quote = decl[i++];
    const std::size_t end = decl.find(quote, i);
    if (end == std::string_view::npos) return {};
    return decl.substr(i, end - i);
}

// Shift_JIS as the service's platform reads it: the CP932 superset, so that
// characters such as the circled digits and the NEC/IBM extensions decode.
bool IsShiftJisName(std::string_view name) {
    for (const char* alias : {"Shift_JIS", "Shift-JIS", "SJIS", "x-sjis", "MS_Kanji", "csShiftJIS",
                              "Windows-31J", "CP932", "MS932", "x-ms-cp932"}) {
        if (EqualsIgnoringCase(name, alias)) return true;
    }
    return false;
}

std::string_view LocalName(const xmlNode* node) {
    std::string_view name(reinterpret_cast<const char*>(node->name));
    // An undeclared prefix leaves the whole qualified name in `name`.
    if (!node->ns) {
        const std::size_t colon = name.rfind(':');
        if (colon != std::string_view::npos) name.remove_prefix(colon + 1);
    }
    return name;
}

bool IsElement(const xmlNode* node, std::string_view localName) {
    return node->type == XML_ELEMENT_NODE && LocalName(node) == localName;
}

// Where a text goes: the first five are an item's, the others the channel's.
enum class Field {
    Headline,
    ItemLink,
    Detail,
    ItemDate,
    Image,
    Title,
    ChannelLink,
    Description,
    ChannelDate,
    IssuedId,
    IssuedKey,
};

bool IsAscii(std::string_view s) {
    // Eight bytes at a time: most of a feed is ASCII.
    std::size_t i = 0;
    for (; i + 8 <= s.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, s.data() + i, 8);
        if (word & 0x8080808080808080ull) return false;
    }
    for (; i < s.size(); ++i) {
        if (static_cast<unsigned char>(s[i]) >= 0x80) return false;
    }
    return true;
}

// Reads element texts into the channel and its items. The total is bounded,
// so that nested internal entities (which stay references in the tree and are
// expanded here) cannot blow up into gigabytes.
class TextCollector {
  public:
    TextCollector(FeedChannel& channel, std::size_t budget) : channel_(channel), budget_(budget) {}

    bool Exceeded() const { return exceeded_; }

    // Stores the element's text (CP932, line breaks folded) in `field` of
    // `item`, or of the channel when `item` is null.
    void Collect(const xmlNode* element, Field field, FeedItem* item = nullptr) {
        std::string_view text = Text(element);
        if (exceeded_) return;
        if (!IsAscii(text)) {  // ASCII, most of a feed, is the same in CP932
            converted_ = text::Utf8ToCp932(text);
            text = converted_;
        }
        // Folded in CP932, the form the folding reads double-byte characters in.
        if (text::HasLineBreak(text)) {
            folded_ = text::FoldLineBreaks(text);
            text = folded_;
        }
        if (item) {
            StoreInItem(*item, field, text);
        } else {
            StoreInChannel(field, text);
        }
    }

    // The element's text, still UTF-8; valid until the next call.
    std::string_view Text(const xmlNode* element) {
        const xmlNode* only = element->children;
        if (only && !only->next && only->type == XML_TEXT_NODE && only->content) {
            const std::string_view text = reinterpret_cast<const char*>(only->content);
            return Spend(text.size()) ? text : std::string_view();  // the usual case: no copy
        }
        gathered_.clear();
        AppendText(element, gathered_);
        return exceeded_ ? std::string_view() : std::string_view(gathered_);
    }

  private:
    static void StoreInItem(FeedItem& item, Field field, std::string_view text) {
        switch (field) {
            case Field::Headline:
                return item.SetHeadline(text);
            case Field::ItemLink:
                return item.SetLink(text);
            case Field::Detail:
                return item.SetDetail(text);
            case Field::ItemDate:
                return item.SetDate(text);
            case Field::Image:
                return item.SetImage(text);
            default:
                return;
        }
    }

    void StoreInChannel(Field field, std::string_view text) {
        switch (field) {
            case Field::Title:
                return channel_.SetTitle(text);
            case Field::ChannelLink:
                return channel_.SetLink(text);
            case Field::Description:
                return channel_.SetDescription(text);
            case Field::ChannelDate:
                return channel_.SetDate(text);
            case Field::IssuedId:
                return channel_.SetIssuedId(text);
            case Field::IssuedKey:
                return channel_.SetIssuedKey(text);
            default:
                return;
        }
    }

    // All descendant text of `element` in document order.
    void AppendText(const xmlNode* element, std::string& out) {
        pending_.clear();
        PushChildren(element->children);
        while (!pending_.empty()) {
            const xmlNode* node = pending_.back();
            pending_.pop_back();
            switch (node->type) {
                case XML_TEXT_NODE:
                case XML_CDATA_SECTION_NODE:
                    if (node->content) {
                        const std::string_view piece = reinterpret_cast<const char*>(node->content);
                        if (!Spend(piece.size())) return;
                        out += piece;
                    }
                    break;
                case XML_ELEMENT_NODE:
                    PushChildren(node->children);
                    break;
                case XML_ENTITY_REF_NODE:
                    // Its only child is the entity declaration; the declaration's
                    // siblings are other declarations and must not be followed.
                    if (node->children && node->children->type == XML_ENTITY_DECL) {
                        PushChildren(node->children->children);
                    }
                    break;
                default:
                    break;
            }
        }
    }

    void PushChildren(const xmlNode* child) {
        const std::size_t from = pending_.size();
        for (; child; child = child->next) pending_.push_back(child);
        std::reverse(pending_.begin() + static_cast<std::ptrdiff_t>(from), pending_.end());
    }

    bool Spend(std::size_t bytes) {
        if (bytes > budget_) exceeded_ = true;
        if (exceeded_) return false;
        budget_ -= bytes;
        return true;
    }

    FeedChannel& channel_;
    std::size_t budget_;
    bool exceeded_ = false;
    std::vector<const xmlNode*> pending_;
    std::string gathered_;
    std::string folded_;
    std::string converted_;
};

// The first child of each name counts.
void ReadItem(const xmlNode* element, FeedItem& item, TextCollector& texts) {
    bool headline = false, link = false, detail = false, date = false, subject = false,
         image = false;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const std::string_view name = LocalName(child);
        if (!headline && name == "dc.subject") {
            texts.Collect(child, Field::Headline, &item);
            headline = true;
        } else if (!link && name == "link") {
            texts.Collect(child, Field::ItemLink, &item);
            link = true;
        } else if (!detail && name == "title") {
            texts.Collect(child, Field::Detail, &item);
            detail = true;
        } else if (!date && name == "date") {
            texts.Collect(child, Field::ItemDate, &item);
            date = true;
        } else if (!subject && name == "subject") {
            // Only ASCII converts to ASCII and a line break never folds into
            // a letter, so the raw UTF-8 text can be compared.
            if (texts.Text(child) == "emergency") item.textColor = 255;
            subject = true;
        } else if (!image && name == "dc.coverage") {
            texts.Collect(child, Field::Image, &item);
            image = true;
        }
    }
}

void ReadChannel(const xmlNode* element, TextCollector& texts) {
    bool title = false, link = false, description = false, date = false;
    for (const xmlNode* child = element->children; child; child = child->next) {
        if (child->type != XML_ELEMENT_NODE) continue;
        const std::string_view name = LocalName(child);
        if (!title && name == "title") {
            texts.Collect(child, Field::Title);
            title = true;
        } else if (!link && name == "link") {
            texts.Collect(child, Field::ChannelLink);
            link = true;
        } else if (!description && name == "description") {
            texts.Collect(child, Field::Description);
            description = true;
        } else if (!date && name == "date") {
            texts.Collect(child, Field::ChannelDate);
            date = true;
        }
    }
}

// Gives the number of items left out beyond kMaxFeedItems.
std::size_t ReadRdf(const xmlNode* rdf, FeedChannel& channel, TextCollector& texts) {
    const FeedItem blank(channel.Colors());
    std::size_t kept = 0, dropped = 0;
    for (const xmlNode* child = rdf->children; child && !texts.Exceeded(); child = child->next) {
        if (IsElement(child, "item")) {
            if (kept == kMaxFeedItems) {
                ++dropped;
                continue;
            }
            ++kept;
            ReadItem(child, *channel.AppendCopy(blank), texts);
        } else if (IsElement(child, "channel")) {
            ReadChannel(child, texts);
        }
    }
    return dropped;
}

void ReadIdentity(const xmlNode* client, TextCollector& texts) {
    for (const xmlNode* child = client->children; child; child = child->next) {
        if (IsElement(child, "id")) {
            texts.Collect(child, Field::IssuedId);  // the last one wins
        } else if (IsElement(child, "key")) {
            texts.Collect(child, Field::IssuedKey);
        }
    }
}

struct DocumentDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};

// Some parser and encoding errors bypass XML_PARSE_NOERROR and go to the
// generic handler (stderr); the program writes no log, so mute it while
// parsing. The handler is per thread in libxml2, so other threads keep theirs.
class QuietParser {
  public:
    QuietParser() : handler_(xmlGenericError), context_(xmlGenericErrorContext) {
        xmlSetGenericErrorFunc(nullptr, &Ignore);
    }
    ~QuietParser() { xmlSetGenericErrorFunc(context_, handler_); }
    QuietParser(const QuietParser&) = delete;
    QuietParser& operator=(const QuietParser&) = delete;

  private:
    static void Ignore(void*, const char*, ...) {}

    xmlGenericErrorFunc handler_;
    void* context_;
};

DocumentLoad Fail(FeedChannel& channel) {
    channel.Clear();
    return DocumentLoad::Unreadable;
}

}  // namespace

DocumentLoad LoadFeedDocument(const std::filesystem::path& workFile, FeedChannel& channel) {
    channel.Clear();
    // The capped read refuses a folder, a FIFO or a device in the work file's place.
    std::string bytes;
    if (const std::error_code error = platform::ReadWholeFile(workFile, kMaxDocumentBytes, bytes)) {
        std::fprintf(stderr, "velmora: %s\n", platform::DescribeFileError(workFile, error).c_str());
        return Fail(channel);
    }
    if (bytes.empty()) return Fail(channel);
    const char* encoding = nullptr;
    int options = kParseOptions;
    if (IsShiftJisName(DeclaredEncoding(std::string_view(bytes).substr(0, 512)))) {
        encoding = "CP932";
        options |= XML_PARSE_IGNORE_ENC;  // else the declaration switches back to strict Shift_JIS
    }

    xmlInitParser();
    RegisterXmlEncodings();
    std::unique_ptr<xmlDoc, DocumentDeleter> doc;
    {
        const QuietParser quiet;
        doc.reset(xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, encoding,
                                options));
    }
    if (!doc) return Fail(channel);

    // Without entities the texts hold at most three UTF-8 bytes per byte of
    // the file (a one-byte character of the file's encoding that needs three);
    // anything beyond that comes from entity expansion.
    TextCollector texts(channel, 3 * bytes.size() + (1u << 20));
    bytes = std::string();  // the tree holds it all now
    std::size_t dropped = 0;
    for (const xmlNode* node = doc->children; node; node = node->next) {
        if (IsElement(node, "RDF")) {
            dropped += ReadRdf(node, channel, texts);
        } else if (IsElement(node, "LuMoClient")) {
            ReadIdentity(node, texts);
        }
    }
    if (texts.Exceeded()) return Fail(channel);
    if (dropped > 0) {
        std::fprintf(stderr, "velmora: %s: the feed has %zu items; kept the first %zu\n",
                     platform::PathText(workFile).c_str(),
                     static_cast<std::size_t>(channel.Count()) + dropped, kMaxFeedItems);
    }
    return DocumentLoad::Loaded;
}

}  // namespace velmora
