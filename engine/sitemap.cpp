#include "engine/sitemap.h"

#include <expat.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <unordered_set>
#include <utility>

#include "engine/curl_handles.h"
#include "engine/http_text.h"
#include "engine/web_address.h"

namespace quaymark {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// Reads a fixed number of digits; false when they are not all there.
bool Digits(std::string_view& text, std::size_t count, int& value) {
    if (text.size() < count) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + count, value);
    if (error != std::errc{} || end != text.data() + count) {
        return false;
    }
    text.remove_prefix(count);
    return true;
}

bool Skip(std::string_view& text, char c) {
    if (text.empty() || text.front() != c) {
        return false;
    }
    text.remove_prefix(1);
    return true;
}

std::string Counted(std::size_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// "50 MiB", or the bytes where they are no whole number of MiB.
std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + " bytes";
}

// The element's name without its namespace prefix.
std::string_view LocalName(const XML_Char* name) {
    const std::string_view full(name);
    const std::size_t colon = full.rfind(':');
    return colon == std::string_view::npos ? full : full.substr(colon + 1);
}

}  // namespace

std::optional<std::int64_t> ParseW3cDate(std::string_view text) {
    using namespace std::chrono;
    text = Trimmed(text);
    int year = 0;
    int month = 1;
    int day = 1;
    if (!Digits(text, 4, year)) {
        return std::nullopt;
    }
    if (Skip(text, '-') &&
        (!Digits(text, 2, month) || (Skip(text, '-') && !Digits(text, 2, day)))) {
        return std::nullopt;
    }
    const year_month_day date{std::chrono::year(year),
                              std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok()) {
        return std::nullopt;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    int offset = 0;
    if (Skip(text, 'T')) {
        if (!Digits(text, 2, hour) || !Skip(text, ':') || !Digits(text, 2, minute)) {
            return std::nullopt;
        }
        if (Skip(text, ':') && !Digits(text, 2, second)) {
            return std::nullopt;
        }
        if (Skip(text, '.')) {
            const std::size_t digits = std::min(text.find_first_not_of("0123456789"), text.size());
            if (digits == 0) {
                return std::nullopt;
            }
            text.remove_prefix(digits);
        }
        if (!Skip(text, 'Z')) {
            const int sign = !text.empty() && text.front() == '-' ? -1 : 1;
            int offsetHours = 0;
            int offsetMinutes = 0;
            if (!(Skip(text, '+') || Skip(text, '-')) || !Digits(text, 2, offsetHours) ||
                !Skip(text, ':') || !Digits(text, 2, offsetMinutes)) {
                return std::nullopt;
            }
            offset = sign * (offsetHours * 3600 + offsetMinutes * 60);
        }
        if (hour > 23 || minute > 59 || second > 60) {
            return std::nullopt;
        }
    }
    if (!text.empty()) {
        return std::nullopt;
    }
    const auto midnight = sys_days(date).time_since_epoch();
    return duration_cast<seconds>(midnight).count() + hour * 3600 + minute * 60 + second - offset;
}

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
    enum class Root { Unknown, Pages, Index };

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
        if (owner.failure_.empty()) {
            owner.Fail("not well-formed XML (line " +
                       std::to_string(XML_GetCurrentLineNumber(parser)) + ": " +
                       XML_ErrorString(XML_GetErrorCode(parser)) + ")");
        }
        return false;
    }

    void Stop(std::string why) {
        owner.Fail(std::move(why));
        XML_StopParser(parser, XML_FALSE);
    }

    static void Start(void* self, const XML_Char* name, const XML_Char** /*attributes*/) {
        auto& xml = *static_cast<Xml*>(self);
        const std::string_view local = LocalName(name);
        ++xml.depth;
        if (xml.depth == 1) {
            if (local == "urlset") {
                xml.root = Root::Pages;
            } else if (local == "sitemapindex") {
                xml.root = Root::Index;
            } else {
                xml.Stop("not a sitemap: its root element is <" + std::string(name) + ">");
            }
        } else if (xml.depth == 3 && (local == "loc" || local == "lastmod")) {
            xml.field = local == "loc" ? &xml.loc : &xml.lastmod;
            xml.field->clear();
        }
    }

    static void End(void* self, const XML_Char* /*name*/) {
        auto& xml = *static_cast<Xml*>(self);
        if (xml.depth == 3) {
            xml.field = nullptr;
        } else if (xml.depth == 2) {
            if (!xml.loc.empty()) {
                const std::string_view lastmod = Trimmed(xml.lastmod);
                xml.owner.Address(std::string(Trimmed(xml.loc)),
                                  lastmod.empty() ? std::nullopt : ParseW3cDate(lastmod),
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
        static_cast<Xml*>(self)->Stop("declares entities, which no sitemap does");
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

bool SitemapParser::Fail(std::string why) {
    if (failure_.empty()) {
        failure_ = std::move(why);
    }
    return false;
}

bool SitemapParser::Feed(std::string_view bytes) {
    if (!failure_.empty()) {
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
                return Fail("could not start gzip");
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
                return Fail("not valid gzip");
            }
            inflater_->ended = false;
        }
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const int status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR) {
            return Fail("not valid gzip");
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
    if (!failure_.empty()) {
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
        return Fail("gzip data cut short");
    }
    switch (form_) {
        case Form::Unknown:
            return Fail("empty");
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
        return Fail("larger than " + SizeText(limits_.maxBytes) + " uncompressed");
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
    while (failure_.empty()) {
        const std::size_t end = bytes.find('\n');
        const std::string_view piece = bytes.substr(0, end);
        if (line_.size() <= limits_.maxAddressLength) {
            line_.append(piece.substr(0, limits_.maxAddressLength + 1 - line_.size()));
        }
        if (end == std::string_view::npos) {
            if (last && !Trimmed(line_).empty()) {
                Address(std::string(Trimmed(line_)), std::nullopt, false);
            }
            return failure_.empty();
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
        Fail("holds more than " + std::to_string(limits_.maxAddresses) + " addresses");
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

std::vector<std::pair<ImportNote, std::string>> SitemapParser::LeftOut() const {
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

namespace {

// One GET whose body goes to a consumer as it arrives.
struct Transfer {
    std::function<bool(std::string_view)> consume;
    const std::atomic<bool>* cancelled;
    CURL* easy = nullptr;
    bool stopped = false;

    std::string EffectiveUrl() const {
        const char* url = nullptr;
        curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &url);
        return url != nullptr ? url : "";
    }
};

bool Succeeded(long status) {
    return status >= 200 && status <= 299;
}

size_t Consume(char* data, size_t size, size_t count, void* transferPointer) {
    auto* transfer = static_cast<Transfer*>(transferPointer);
    long status = 0;
    curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &status);
    // The body of a refusal is never read as a sitemap.
    if (!Succeeded(status) || !transfer->consume({data, size * count})) {
        transfer->stopped = true;
        return 0;
    }
    return size * count;
}

int Progress(void* transferPointer, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Transfer*>(transferPointer)->cancelled->load() ? 1 : 0;
}

struct Fetched {
    long status = 0;
    std::string failure;
    bool stopped = false;
};

Fetched Fetch(const RunRouting& routing, const RequestLists& lists, const std::string& url,
              Transfer& transfer) {
    Fetched fetched;
    const EasyHandle easy(curl_easy_init());
    if (!easy) {
        fetched.failure = "could not start a transfer";
        return fetched;
    }
    CURL* e = easy.get();
    transfer.easy = e;
    SetSharedOptions(e, routing, lists);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
    SetVerifiedAndBounded(e, routing);
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Consume);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(e, CURLOPT_XFERINFOFUNCTION, &Progress);
    curl_easy_setopt(e, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(e, CURLOPT_NOPROGRESS, 0L);
    const CURLcode result = curl_easy_perform(e);
    fetched.stopped = transfer.stopped;
    if (result == CURLE_OK || (result == CURLE_WRITE_ERROR && transfer.stopped)) {
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &fetched.status);
    } else if (result == CURLE_ABORTED_BY_CALLBACK) {
        fetched.failure = "cancelled";
    } else if (result == CURLE_TOO_MANY_REDIRECTS) {
        fetched.failure = "redirected too often";
    } else if (result == CURLE_UNSUPPORTED_PROTOCOL && !ParseWebAddress(transfer.EffectiveUrl())) {
        fetched.failure = "redirected to a non-web address: " + transfer.EffectiveUrl();
    } else {
        fetched.failure = TransferFailureReason(result);
    }
    return fetched;
}

// A site is an address with no path beyond "/"; anything else names a sitemap.
bool IsSiteAddress(const WebAddress& address) {
    return address.path == "/" && address.query.empty() && address.fragment.empty();
}

}  // namespace

SitemapImporter::SitemapImporter(RunRouting routing, ImportObserver& observer, SitemapLimits limits)
    : routing_(std::move(routing)), lists_(routing_, {}), observer_(observer), limits_(limits) {}

SitemapImport SitemapImporter::Import(const std::string& address) {
    SitemapImport import;
    const std::optional<WebAddress> parsed = ParseWebAddress(address);
    if (!parsed) {
        import.failures.push_back(address + ": not an http or https address");
        return import;
    }
    const std::vector<std::string> sitemaps =
        IsSiteAddress(*parsed)
            ? SitemapsOfSite(NormalisedAddress(address).value_or(address), import)
            : std::vector{address};
    // One sitemap's worth of room: rehashing would cost more than the parse.
    seen_.reserve(limits_.maxAddresses);
    for (const std::string& sitemap : sitemaps) {
        if (cancelled_ || full_) {
            break;
        }
        ReadSitemap(sitemap, 0, import);
    }
    if (unread_ > 0) {
        import.notes.Add(ImportNote::NotRead, Counted(unread_, "sitemap", "sitemaps") +
                                                  " not read: an import reads at most " +
                                                  std::to_string(limits_.maxSitemaps));
    }
    import.cancelled = cancelled_;
    seen_.clear();
    return import;
}

std::vector<std::string> SitemapImporter::SitemapsOfSite(const std::string& siteRoot,
                                                         SitemapImport& import) {
    const std::string robots = siteRoot + "robots.txt";
    observer_.SitemapStarted(robots);
    std::vector<std::string> sitemaps;
    std::string line;
    std::size_t kept = 0;
    // A robots.txt may name sitemaps of other hosts: the protocol lets a site submit them.
    const auto takeLine = [&] {
        const std::string_view text = Trimmed(line);
        if (StartsWithNoCase(text, "sitemap:")) {
            const std::string sitemap(Trimmed(text.substr(8)));
            const std::optional<WebAddress> parsed = ParseWebAddress(sitemap);
            if (parsed && !parsed->credentials &&
                std::find(sitemaps.begin(), sitemaps.end(), sitemap) == sitemaps.end()) {
                sitemaps.push_back(sitemap);
            }
        }
        line.clear();
    };
    // Only the first part of a robots.txt counts, as crawlers read it.
    Transfer transfer{[&](std::string_view bytes) {
                          bytes = bytes.substr(0, limits_.maxRobotsBytes - kept);
                          kept += bytes.size();
                          for (const char c : bytes) {
                              c == '\n' ? takeLine() : line.push_back(c);
                          }
                          return kept < limits_.maxRobotsBytes;
                      },
                      &cancelled_};
    const Fetched fetched = Fetch(routing_, lists_, robots, transfer);
    if (!fetched.failure.empty()) {
        if (!cancelled_) {
            import.failures.push_back(robots + ": " + fetched.failure);
        }
        return {};
    }
    if (Succeeded(fetched.status)) {
        takeLine();
    } else {
        sitemaps.clear();
    }
    if (sitemaps.empty()) {
        sitemaps.push_back(siteRoot + "sitemap.xml");
    }
    return sitemaps;
}

void SitemapImporter::ReadSitemap(const std::string& url, int depth, SitemapImport& import) {
    // Spellings of one address (letter case, a default port, a fragment) are one sitemap.
    const std::string normalised = NormalisedAddress(url).value_or(url);
    if (read_.count(normalised) > 0) {
        import.notes.Add(ImportNote::NamedAgain, url + ": named again, read once");
        return;
    }
    if (read_.size() >= limits_.maxSitemaps) {
        ++unread_;
        return;
    }
    read_.insert(normalised);
    observer_.SitemapStarted(url);
    std::vector<std::string> nested;
    const SitemapParser::Sink sink{
        [&](SitemapPage page) {
            if (import.pages.size() >= limits_.maxPages ||
                page.url.size() > limits_.maxPageBytes - pageBytes_) {
                full_ = true;
            } else if (seen_.count(page.url) == 0) {
                pageBytes_ += page.url.size();
                seen_.insert(import.pages.emplace_back(std::move(page)).url);
                observer_.AddressesFound(import.pages.size());
            }
        },
        [&](std::string sitemap) {
            if (read_.size() + nested.size() < limits_.maxSitemaps) {
                nested.push_back(std::move(sitemap));
            } else {
                ++unread_;
            }
        }};
    // The pages must be of the host the sitemap is on after any redirect, which is known
    // once its first bytes arrive.
    std::unique_ptr<SitemapParser> parser;
    Transfer transfer{[&](std::string_view bytes) {
                          if (!parser) {
                              parser = std::make_unique<SitemapParser>(
                                  AnnounceHost(transfer.EffectiveUrl()).value_or(""), limits_,
                                  sink);
                          }
                          return parser->Feed(bytes) && !full_;
                      },
                      &cancelled_};
    const Fetched fetched = Fetch(routing_, lists_, url, transfer);
    std::string failure = fetched.failure;
    if (failure.empty() && !Succeeded(fetched.status)) {
        failure = "answered " + std::to_string(fetched.status);
    }
    if (!parser) {
        parser = std::make_unique<SitemapParser>("", limits_, sink);
    }
    if (failure.empty() && !fetched.stopped) {
        parser->Finish();
    }
    if (failure.empty()) {
        failure = parser->failure();
    }
    if (failure.empty() && full_) {
        failure = "the import's limit of " +
                  (import.pages.size() >= limits_.maxPages
                       ? std::to_string(limits_.maxPages) + " addresses"
                       : SizeText(limits_.maxPageBytes) + " of addresses") +
                  " was reached; the rest was not read";
    }
    if (!failure.empty() && !(cancelled_ && fetched.failure == "cancelled")) {
        import.failures.push_back(url + ": " + failure);
    }
    for (auto& [note, leftOut] : parser->LeftOut()) {
        import.notes.Add(note, url + ": left out " + leftOut);
    }
    if (!nested.empty() && depth >= limits_.maxDepth) {
        import.notes.Add(ImportNote::BeyondNesting,
                         url + ": names sitemaps beyond the nesting limit (" +
                             std::to_string(limits_.maxDepth) + "), not read");
        return;
    }
    for (const std::string& sitemap : nested) {
        if (cancelled_ || full_) {
            return;
        }
        ReadSitemap(sitemap, depth + 1, import);
    }
}

}  // namespace quaymark
