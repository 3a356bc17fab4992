#include "engine/sitemap/sitemap_parser.h"

#include <curl/curl.h>
#include <expat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <ctime>

#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

// The element's name without its namespace prefix.
std::string_view LocalName(const XML_Char* name) {
    const std::string_view full(name);
    const std::size_t colon = full.rfind(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

}  // namespace

bool IsPageOfHost(std::string_view address, std::string_view host) {
    if (address.find_first_of("\r\n") != std::string_view::npos) {
        return false;
    }
    const std::optional<WebAddress> parsed = ParseWebAddress(address);
    return parsed && !parsed->credentials && !host.empty() && parsed->host == host;
}

void ImportNotes::Add(ImportNote note, std::string line) {
    auto reason = std::find_if(reasons.begin(), reasons.end(),
                               [note](const Reason& known) { return known.note == note; });
    if (reason == reasons.end()) {
        reason = reasons.insert(reasons.end(), {.note = note});
    }
    ++reason->count;
    if (reason->examples.size() < kExamples) {
        reason->examples.push_back(line);
    }
    if (lines.size() < kMaxLines) {
        lines.push_back(std::move(line));
    } else {
        ++linesLeftOut;
    }
}

// The XML stage: expat, told to refuse any entity declaration, which no sitemap needs and
// every entity-expansion attack does.
struct SitemapParser::Xml {
    enum class Root { Unknown, Pages, Index, Rss, Atom };

    explicit Xml(SitemapParser& owner) : owner(owner), parser(XML_ParserCreate(nullptr)) {
        XML_SetUserData(parser, this);
        XML_SetElementHandler(parser, &Xml::Start, &Xml::End);
        XML_SetCharacterDataHandler(parser, &Xml::Text);
        XML_SetEntityDeclHandler(parser, &Xml::Entity);
    }
    ~Xml() { XML_ParserFree(parser); }
    Xml(const Xml&) = delete;
    Xml& operator=(const Xml&) = delete;

    bool Parse(std::string_view bytes, bool last) {
        if (XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), last ? 1 : 0) ==
            XML_STATUS_OK) {
            return true;
        }
        owner.Fail({.kind = SitemapProblem::Kind::NotWellFormed,
                    .number = static_cast<std::size_t>(XML_GetCurrentLineNumber(parser)),
                    .detail = XML_ErrorString(XML_GetErrorCode(parser))});
        return false;
    }

    void Stop(SitemapProblem why) {
        owner.Fail(std::move(why));
        XML_StopParser(parser, XML_FALSE);
    }

    // Where a root keeps its entries: <url> and <sitemap> at depth 2, an Atom <entry> at
    // depth 2, an RSS <item> inside its <channel> at depth 3; each entry's fields one deeper.
    int EntryDepth() const { return root == Root::Rss ? 3 : 2; }

    static void Start(void* self, const XML_Char* name, const XML_Char** attributes) {
        auto& xml = *static_cast<Xml*>(self);
        const std::string_view local = LocalName(name);
        ++xml.depth;
        if (xml.depth == 1) {
            xml.TakeRoot(local, name);
        } else if (xml.depth == xml.EntryDepth() + 1) {
            xml.TakeField(local, attributes);
        }
    }

    void TakeRoot(std::string_view local, const XML_Char* name) {
        if (local == "urlset") {
            root = Root::Pages;
        } else if (local == "sitemapindex") {
            root = Root::Index;
        } else if (local == "rss") {
            root = Root::Rss;
        } else if (local == "feed") {
            root = Root::Atom;
        } else {
            Stop({.kind = SitemapProblem::Kind::NotASitemap, .detail = name});
        }
    }

    // The address and the last change of an entry: <loc> and <lastmod>; a feed's <link> (in
    // Atom its href, of the entry's own page) and <pubDate> or <updated>.
    void TakeField(std::string_view local, const XML_Char** attributes) {
        const bool feed = root == Root::Rss || root == Root::Atom;
        const std::string_view address = feed ? "link" : "loc";
        const std::string_view date = root == Root::Rss    ? "pubDate"
                                      : root == Root::Atom ? "updated"
                                                           : "lastmod";
        if (local == date) {
            field = &lastmod;
            field->clear();
        } else if (local == address && root == Root::Atom) {
            TakeAtomLink(attributes);
        } else if (local == address) {
            field = &loc;
            field->clear();
        }
    }

    void TakeAtomLink(const XML_Char** attributes) {
        std::string_view href;
        std::string_view rel = "alternate";
        for (const XML_Char** at = attributes; at[0] != nullptr; at += 2) {
            const std::string_view attribute = at[0];
            if (attribute == "href") {
                href = at[1];
            } else if (attribute == "rel") {
                rel = at[1];
            }
        }
        if (rel == "alternate" && loc.empty()) {
            loc.assign(href.substr(0, owner.limits_.maxAddressLength + 64));
        }
    }

    std::optional<std::int64_t> LastChange() const {
        const std::string_view text = Trimmed(lastmod);
        if (text.empty()) {
            return std::nullopt;
        }
        if (root != Root::Rss) {
            return ParseW3cDate(text);
        }
        // RSS dates are those of e-mail (RFC 822), which libcurl reads.
        const std::time_t when = curl_getdate(std::string(text).c_str(), nullptr);
        return when == -1 ? std::nullopt : std::optional<std::int64_t>(when);
    }

    static void End(void* self, const XML_Char* /*name*/) {
        auto& xml = *static_cast<Xml*>(self);
        if (xml.depth == xml.EntryDepth() + 1) {
            xml.field = nullptr;
        } else if (xml.depth == xml.EntryDepth()) {
            if (!xml.loc.empty()) {
                xml.owner.Address(std::string(Trimmed(xml.loc)), xml.LastChange(),
                                  xml.root == Root::Index);
            }
            xml.loc.clear();
            xml.lastmod.clear();
        }
        --xml.depth;
    }

    static void Text(void* self, const XML_Char* text, int length) {
        auto& xml = *static_cast<Xml*>(self);
        // A field longer than any address is kept only as long as needed to know it is.
        if (xml.field != nullptr && xml.field->size() <= xml.owner.limits_.maxAddressLength + 64) {
            xml.field->append(text, static_cast<std::size_t>(length));
        }
    }

    static void Entity(void* self, const XML_Char*, int, const XML_Char*, int, const XML_Char*,
                       const XML_Char*, const XML_Char*, const XML_Char*) {
        static_cast<Xml*>(self)->Stop({.kind = SitemapProblem::Kind::DeclaresEntities});
    }

    SitemapParser& owner;
    XML_Parser parser;
    Root root = Root::Unknown;
    int depth = 0;
    std::string loc;
    std::string lastmod;
    std::string* field = nullptr;
};

// The gzip stage, before the others.
struct SitemapParser::Inflater {
    Inflater() { ok = inflateInit2(&stream, 16 + MAX_WBITS) == Z_OK; }
    ~Inflater() {
        if (ok) {
            inflateEnd(&stream);
        }
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream stream{};
    bool ok = false;
    bool ended = false;
};

SitemapParser::SitemapParser(std::string host, const SitemapLimits& limits, Sink sink)
    : host_(std::move(host)), limits_(limits), sink_(std::move(sink)) {}

SitemapParser::~SitemapParser() = default;

bool SitemapParser::Fail(SitemapProblem why) {
    if (!failure_) {
        failure_ = std::move(why);
    }
    return false;
}

bool SitemapParser::Feed(std::string_view bytes) {
    if (failure_) {
        return false;
    }
    if (!gzipChecked_) {
        head_.append(bytes);
        if (head_.size() < 2) {
            return true;
        }
        gzipChecked_ = true;
        bytes = head_;
        if (static_cast<unsigned char>(head_[0]) == 0x1f &&
            static_cast<unsigned char>(head_[1]) == 0x8b) {
            inflater_ = std::make_unique<Inflater>();
            if (!inflater_->ok) {
                return Fail({.kind = SitemapProblem::Kind::GzipNotStarted});
            }
        }
        const std::string first = std::exchange(head_, {});
        return Feed(first);
    }
    if (!inflater_) {
        return Take(bytes);
    }
    z_stream& stream = inflater_->stream;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    std::array<char, 16384> out{};
    while (stream.avail_in > 0) {
        if (inflater_->ended) {
            // Another gzip member follows the first.
            if (inflateReset(&stream) != Z_OK) {
                return Fail({.kind = SitemapProblem::Kind::NotGzip});
            }
            inflater_->ended = false;
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return Fail({.kind = SitemapProblem::Kind::NotGzip});
        }
        inflater_->ended = status == Z_STREAM_END;
        if (!Take({out.data(), out.size() - stream.avail_out})) {
            return false;
        }
        if (status == Z_BUF_ERROR) {
            break;
        }
    }
    return true;
}

bool SitemapParser::Finish() {
    if (failure_) {
        return false;
    }
    if (!gzipChecked_) {
        gzipChecked_ = true;
        const std::string rest = std::exchange(head_, {});
        if (!Take(rest)) {
            return false;
        }
    }
    if (inflater_ && !inflater_->ended) {
        return Fail({.kind = SitemapProblem::Kind::GzipCutShort});
    }
    switch (form_) {
        case Form::Unknown:
            return Fail({.kind = SitemapProblem::Kind::Empty});
        case Form::Xml:
            return xml_->Parse({}, true);
        case Form::Text:
            return TakeText({}, true);
    }
    return true;
}

bool SitemapParser::Take(std::string_view bytes) {
    bytes_ += bytes.size();
    if (bytes_ > limits_.maxBytes) {
        return Fail({.kind = SitemapProblem::Kind::TooLarge, .number = limits_.maxBytes});
    }
    if (form_ == Form::Unknown) {
        // The first character decides; a byte order mark and blanks come before it.
        head_.append(bytes);
        std::string_view start = head_;
        if (start.substr(0, 3) == "\xEF\xBB\xBF") {
            start.remove_prefix(3);
        } else if (start.size() < 3 &&
                   std::string_view("\xEF\xBB\xBF").substr(0, start.size()) == start) {
            return true;
        }
        const std::size_t first = start.find_first_not_of(kBlanks);
        if (first == std::string_view::npos) {
            head_.clear();
            return true;
        }
        form_ = start[first] == '<' ? Form::Xml : Form::Text;
        if (form_ == Form::Xml) {
            xml_ = std::make_unique<Xml>(*this);
        }
        // What waited here is counted again as it is taken.
        const std::string taken(start);
        bytes_ -= head_.size();
        head_.clear();
        return Take(taken);
    }
    if (form_ == Form::Xml) {
        return xml_->Parse(bytes, false);
    }
    return TakeText(bytes, false);
}

bool SitemapParser::TakeText(std::string_view bytes, bool last) {
    while (!failure_) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (line_.size() <= limits_.maxAddressLength) {
            line_.append(piece.substr(0, limits_.maxAddressLength + 1 - line_.size()));
        }
        if (end == std::string_view::npos) {
            if (last && !Trimmed(line_).empty()) {
                Address(std::string(Trimmed(line_)), std::nullopt, false);
            }
            return !failure_;
        }
        if (!Trimmed(line_).empty()) {
            Address(std::string(Trimmed(line_)), std::nullopt, false);
        }
        line_.clear();
        bytes.remove_prefix(end + 1);
    }
    return false;
}

void SitemapParser::Address(std::string text, std::optional<std::int64_t> lastmod, bool isSitemap) {
    // The protocol's limit counts every entry, of whatever host.
    if (++found_ > limits_.maxAddresses) {
        Fail({.kind = SitemapProblem::Kind::TooManyAddresses, .number = limits_.maxAddresses});
        return;
    }
    if (text.size() > limits_.maxAddressLength) {
        ++tooLong_;
        return;
    }
    const std::optional<WebAddress> parsed =
        text.find_first_of("\r\n") == std::string::npos ? ParseWebAddress(text) : std::nullopt;
    if (!parsed) {
        ++notAddresses_;
    } else if (parsed->credentials) {
        ++credentials_;
    } else if (host_.empty() || parsed->host != host_) {
        // An index names only sitemaps of its own site, as a sitemap lists only its pages.
        ++(isSitemap ? otherHostSitemaps_ : otherHosts_);
    } else if (isSitemap) {
        sink_.sitemap(std::move(text));
    } else {
        sink_.page({std::move(text), lastmod});
    }
}

std::vector<std::pair<ImportNote, std::string>> SitemapParser::LeftOutNotes() const {
    std::vector<std::pair<ImportNote, std::string>> leftOut;
    if (otherHosts_ > 0) {
        leftOut.emplace_back(ImportNote::OtherHosts, Counted(otherHosts_, "address of another host",
                                                             "addresses of other hosts"));
    }
    if (otherHostSitemaps_ > 0) {
        leftOut.emplace_back(
            ImportNote::OtherHostSitemaps,
            Counted(otherHostSitemaps_, "sitemap of another host", "sitemaps of other hosts"));
    }
    if (credentials_ > 0) {
        leftOut.emplace_back(ImportNote::Credentials,
                             Counted(credentials_, "address with a user name or password",
                                     "addresses with a user name or password"));
    }
    if (notAddresses_ > 0) {
        leftOut.emplace_back(
            ImportNote::NotAddresses,
            Counted(notAddresses_, "entry that is not an http or https address on one line",
                    "entries that are not http or https addresses on one line"));
    }
    if (tooLong_ > 0) {
        leftOut.emplace_back(ImportNote::TooLong,
                             Counted(tooLong_, "address", "addresses") + " longer than " +
                                 std::to_string(limits_.maxAddressLength) + " characters");
    }
    return leftOut;
}

}  // namespace quaymark
