#include "engine/check/page_reader.h"

#include <gumbo.h>
#include <xxhash.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <vector>

#include "engine/net/http_text.h"
#include "engine/net/web_address.h"

namespace quaymark {
namespace {

// Whom a meta tag's or a header's robot name speaks to.
Audience RobotNamed(std::string_view name) {
    return AudienceOf(AsciiLowerCopy(Trimmed(name)));
}

bool IsNoindexDirective(std::string_view directive) {
    const std::string lower = AsciiLowerCopy(Trimmed(directive));
    return lower == "noindex" || lower == "none";
}

// Calls take with each comma-separated part of the text.
template <typename Take>
void ForEachPart(std::string_view text, char separator, Take take) {
    while (true) {
        const std::size_t end = text.find(separator);
        take(text.substr(0, end));
        if (end == std::string_view::npos) {
            return;
        }
        text.remove_prefix(end + 1);
    }
}

// Elements whose end tag may be left out, so that a page need not close them: they never
// count towards the nesting.
bool EndTagOptional(std::string_view name) {
    static constexpr std::array<std::string_view, 20> kOptional{
        "p",  "li", "dt",    "dd",    "option", "optgroup", "tr",
        "td", "th", "tbody", "thead", "tfoot",  "colgroup", "caption",
        "rb", "rt", "rp",    "html",  "head",   "body"};
    return std::find(kOptional.begin(), kOptional.end(), name) != kOptional.end();
}

bool IsVoid(std::string_view name) {
    static constexpr std::array<std::string_view, 14> kVoid{
        "area",  "base", "br",   "col",   "embed",  "hr",    "img",
        "input", "link", "meta", "param", "source", "track", "wbr"};
    return std::find(kVoid.begin(), kVoid.end(), name) != kVoid.end();
}

// Where the bytes nest deeper than the limit, read as a tokenizer would read their tags; the
// whole when they never do.
std::size_t NestingBound(std::string_view html, int maxDepth) {
    int depth = 0;
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        if (html.substr(at, 4) == "<!--") {
            const std::size_t end = html.find("-->", at + 4);
            at = end == std::string_view::npos ? html.size() : end + 3;
            continue;
        }
        const bool closing = at + 1 < html.size() && html[at + 1] == '/';
        std::size_t nameStart = at + (closing ? 2 : 1);
        std::size_t nameEnd = nameStart;
        while (nameEnd < html.size() && IsAsciiAlnum(html[nameEnd])) {
            ++nameEnd;
        }
        const std::size_t tagEnd = html.find('>', nameEnd);
        if (nameEnd == nameStart || tagEnd == std::string_view::npos) {
            at = nameEnd == nameStart ? at + 1 : html.size();
            continue;
        }
        const std::string name = AsciiLowerCopy(html.substr(nameStart, nameEnd - nameStart));
        const bool selfClosing = html[tagEnd - 1] == '/';
        if (closing) {
            depth -= EndTagOptional(name) || IsVoid(name) ? 0 : 1;
            depth = std::max(depth, 0);
        } else if (!selfClosing && !IsVoid(name) && !EndTagOptional(name)) {
            if (++depth > maxDepth) {
                return at;
            }
        }
        at = tagEnd + 1;
        // The text of a script or a style is no markup.
        if (!closing && (name == "script" || name == "style")) {
            const std::size_t end = AsciiLowerCopy(html.substr(at)).find("</" + name);
            at = end == std::string::npos ? html.size() : at + end;
        }
    }
    return html.size();
}

std::chrono::nanoseconds ThreadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// What one parse may spend. Every block the parser takes is ours, linked in a list, so that a
// parse abandoned half way leaves nothing behind; past the ceiling of memory or the deadline
// of CPU time the allocation does not return but escapes to where the parse began. The parser
// keeps no state of its own beyond its blocks, and nothing between here and the escape's
// landing needs destroying.
class ParseGuard {
public:
    ParseGuard(std::size_t ceiling, std::chrono::nanoseconds deadline)
        : ceiling_(ceiling), deadline_(deadline) {
        options_.allocator = &Allocate;
        options_.deallocator = &Deallocate;
        options_.userdata = this;
        options_.max_errors = 0;  // the page's mistakes are not ours to keep
    }
    ~ParseGuard() {
        while (blocks_.next != &blocks_) {
            Deallocate(this, blocks_.next + 1);
        }
    }
    ParseGuard(const ParseGuard&) = delete;
    ParseGuard& operator=(const ParseGuard&) = delete;

    // The page's tree, or none when the parse would have cost more than it may.
    GumboOutput* Parse(std::string_view html) {
        if (setjmp(escape_) != 0) {
            return nullptr;
        }
        return gumbo_parse_with_options(&options_, html.data(), html.size());
    }
    void Destroy(GumboOutput* output) { gumbo_destroy_output(&options_, output); }

private:
    struct alignas(alignof(std::max_align_t)) Block {
        Block* previous;
        Block* next;
        std::size_t size;
    };
    // The clock is looked at every so many allocations: the parser allocates as its work
    // grows, and a look costs a system call.
    static constexpr unsigned kLookEvery = 256;
    static constexpr std::size_t kMallocOverhead = 16;

    static void* Allocate(void* userdata, std::size_t size) {
        auto* guard = static_cast<ParseGuard*>(userdata);
        // A block costs its bytes, its link and what malloc keeps beside it.
        const std::size_t cost = size + sizeof(Block) + kMallocOverhead;
        if (cost > guard->ceiling_ - guard->held_ ||
            (++guard->allocations_ % kLookEvery == 0 && ThreadCpuTime() > guard->deadline_)) {
            std::longjmp(guard->escape_, 1);
        }
        auto* block = static_cast<Block*>(std::malloc(sizeof(Block) + size));
        if (block == nullptr) {
            std::longjmp(guard->escape_, 1);
        }
        *block = {.previous = &guard->blocks_, .next = guard->blocks_.next, .size = size};
        guard->blocks_.next->previous = block;
        guard->blocks_.next = block;
        guard->held_ += cost;
        return block + 1;
    }
    static void Deallocate(void* userdata, void* pointer) {
        if (pointer == nullptr) {
            return;
        }
        auto* guard = static_cast<ParseGuard*>(userdata);
        Block* block = static_cast<Block*>(pointer) - 1;
        block->previous->next = block->next;
        block->next->previous = block->previous;
        guard->held_ -= block->size + sizeof(Block) + kMallocOverhead;
        std::free(block);
    }

    GumboOptions options_ = kGumboDefaultOptions;
    std::size_t ceiling_;
    std::chrono::nanoseconds deadline_;
    std::size_t held_ = 0;
    unsigned allocations_ = 0;
    Block blocks_{.previous = &blocks_, .next = &blocks_, .size = 0};
    std::jmp_buf escape_{};
};

std::string_view Attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* attribute = gumbo_get_attribute(&element.attributes, name);
    return attribute != nullptr ? std::string_view(attribute->value) : std::string_view();
}

// Elements outside the main text: what a page repeats on every page, and what is no text.
bool OutsideMainText(const GumboElement& element) {
    switch (element.tag) {
        case GUMBO_TAG_HEAD:
        case GUMBO_TAG_SCRIPT:
        case GUMBO_TAG_STYLE:
        case GUMBO_TAG_NOSCRIPT:
        case GUMBO_TAG_TEMPLATE:
        case GUMBO_TAG_NAV:
        case GUMBO_TAG_HEADER:
        case GUMBO_TAG_FOOTER:
        case GUMBO_TAG_ASIDE:
            return true;
        default:
            break;
    }
    const std::string role = AsciiLowerCopy(Attribute(element, "role"));
    return role == "navigation" || role == "banner" || role == "contentinfo" ||
           role == "complementary";
}

// Phrasing elements run on in the text; every other element begins a new piece of it.
bool RunsOn(GumboTag tag) {
    switch (tag) {
        case GUMBO_TAG_A:
        case GUMBO_TAG_ABBR:
        case GUMBO_TAG_B:
        case GUMBO_TAG_BDI:
        case GUMBO_TAG_BDO:
        case GUMBO_TAG_CITE:
        case GUMBO_TAG_CODE:
        case GUMBO_TAG_DATA:
        case GUMBO_TAG_DFN:
        case GUMBO_TAG_EM:
        case GUMBO_TAG_I:
        case GUMBO_TAG_KBD:
        case GUMBO_TAG_MARK:
        case GUMBO_TAG_Q:
        case GUMBO_TAG_S:
        case GUMBO_TAG_SAMP:
        case GUMBO_TAG_SMALL:
        case GUMBO_TAG_SPAN:
        case GUMBO_TAG_STRONG:
        case GUMBO_TAG_SUB:
        case GUMBO_TAG_SUP:
        case GUMBO_TAG_TIME:
        case GUMBO_TAG_U:
        case GUMBO_TAG_VAR:
            return true;
        default:
            return false;
    }
}

bool HasToken(std::string_view list, std::string_view token) {
    bool found = false;
    ForEachPart(list, ' ', [&](std::string_view part) {
        found = found || AsciiLowerCopy(Trimmed(part)) == token;
    });
    return found;
}

// Where an element stands: only the head's canonical counts, as the engines read it (a body's
// may come from what visitors post), and a template's content is inert.
struct Place {
    bool outside = false;
    bool inHead = false;
    bool inert = false;
};

// What the elements say: meta robots and the head's canonical link.
void ReadElement(const GumboElement& element, Place place, std::string_view pageAddress,
                 PageReading& reading) {
    if (place.inert) {
        return;
    }
    if (element.tag == GUMBO_TAG_META) {
        const Audience robot = RobotNamed(Attribute(element, "name"));
        ForEachPart(Attribute(element, "content"), ',', [&](std::string_view directive) {
            reading.noindex |= IsNoindexDirective(directive) ? robot : kNoRobot;
        });
    } else if (element.tag == GUMBO_TAG_LINK && place.inHead && reading.canonical.empty() &&
               HasToken(Attribute(element, "rel"), "canonical")) {
        reading.canonical = ResolveAddress(pageAddress, Attribute(element, "href")).value_or("");
    }
}

// The main text with its blanks folded, gathered without recursion: however deep the tree, the
// stack stays small.
std::string MainText(const GumboNode* root, std::string_view pageAddress, PageReading& reading) {
    std::string text;
    bool blank = true;
    std::vector<std::pair<const GumboNode*, Place>> stack{{root, Place{}}};
    while (!stack.empty()) {
        const auto [node, place] = stack.back();
        stack.pop_back();
        if (node->type == GUMBO_NODE_ELEMENT || node->type == GUMBO_NODE_TEMPLATE ||
            node->type == GUMBO_NODE_DOCUMENT) {
            const GumboVector& children = node->type == GUMBO_NODE_DOCUMENT
                                              ? node->v.document.children
                                              : node->v.element.children;
            Place within = place;
            if (node->type != GUMBO_NODE_DOCUMENT) {
                const GumboElement& element = node->v.element;
                ReadElement(element, place, pageAddress, reading);
                within = {.outside = place.outside || OutsideMainText(element),
                          .inHead = place.inHead || element.tag == GUMBO_TAG_HEAD,
                          .inert = place.inert || node->type == GUMBO_NODE_TEMPLATE};
                blank = blank || !RunsOn(element.tag);
            }
            for (unsigned i = children.length; i > 0; --i) {
                stack.emplace_back(static_cast<const GumboNode*>(children.data[i - 1]), within);
            }
        } else if (!place.outside &&
                   (node->type == GUMBO_NODE_TEXT || node->type == GUMBO_NODE_CDATA ||
                    node->type == GUMBO_NODE_WHITESPACE)) {
            for (const char* c = node->v.text.text; *c != '\0'; ++c) {
                if (IsAsciiSpace(*c)) {
                    blank = true;
                    continue;
                }
                if (blank && !text.empty()) {
                    text.push_back(' ');
                }
                blank = false;
                text.push_back(*c);
            }
        }
    }
    return text;
}

}  // namespace

PageReading ReadPage(std::string_view html, std::string_view pageAddress,
                     const PageReadLimits& limits) {
    PageReading reading;
    if (html.size() > limits.maxBytes) {
        html = html.substr(0, limits.maxBytes);
        reading.cut = true;
    }
    if (const std::size_t bound = NestingBound(html, limits.maxDepth); bound < html.size()) {
        html = html.substr(0, bound);
        reading.cut = true;
    }
    // A page that costs the parser more than it may is read again, a quarter as long, within
    // half of what is left, until what remains is too short to say anything.
    constexpr std::size_t kShortest = 1024;
    const std::chrono::nanoseconds end = ThreadCpuTime() + limits.cpu;
    while (true) {
        const std::chrono::nanoseconds now = ThreadCpuTime();
        ParseGuard guard(limits.parserBytes,
                         html.size() <= kShortest ? end : now + (end - now) / 2);
        GumboOutput* output = guard.Parse(html);
        if (output != nullptr) {
            const std::string text = MainText(output->document, pageAddress, reading);
            guard.Destroy(output);
            reading.fingerprint = XXH3_64bits(text.data(), text.size());
            return reading;
        }
        reading.cut = true;
        if (html.size() <= kShortest) {
            return reading;
        }
        html = html.substr(0, std::max(kShortest, html.size() / 4));
    }
}

Audience HeaderSaysNoindex(std::string_view value) {
    // "noindex", "googlebot: noindex, nofollow", "otherbot: noindex": a robot's name before a
    // colon applies to the directives after it, until the next name.
    Audience ours = kEveryRobot;
    Audience noindex = kNoRobot;
    ForEachPart(value, ',', [&](std::string_view part) {
        if (const std::size_t colon = part.find(':'); colon != std::string_view::npos) {
            const std::string_view name = Trimmed(part.substr(0, colon));
            if (!IsNoindexDirective(name) && AsciiLowerCopy(name) != "unavailable_after") {
                ours = RobotNamed(name);
                part.remove_prefix(colon + 1);
            }
        }
        noindex |= IsNoindexDirective(part) ? ours : kNoRobot;
    });
    return noindex;
}

std::optional<std::string> CanonicalOfLinkHeader(std::string_view value,
                                                 std::string_view pageAddress) {
    std::optional<std::string> canonical;
    // Each link is <target>; parameters; a comma inside the angle brackets is the target's.
    std::size_t at = 0;
    while (!canonical && (at = value.find('<', at)) != std::string_view::npos) {
        const std::size_t close = value.find('>', at);
        if (close == std::string_view::npos) {
            break;
        }
        const std::string_view target = value.substr(at + 1, close - at - 1);
        const std::size_t next = value.find('<', close);
        const std::string_view parameters = value.substr(close + 1, next - close - 1);
        ForEachPart(parameters, ';', [&](std::string_view parameter) {
            const std::size_t equals = parameter.find('=');
            if (equals == std::string_view::npos ||
                AsciiLowerCopy(Trimmed(parameter.substr(0, equals))) != "rel") {
                return;
            }
            std::string_view rel = Trimmed(parameter.substr(equals + 1));
            if (rel.size() >= 2 && rel.front() == '"' && rel.back() == '"') {
                rel = rel.substr(1, rel.size() - 2);
            }
            if (HasToken(rel, "canonical")) {
                canonical = ResolveAddress(pageAddress, target);
            }
        });
        at = close;
    }
    return canonical;
}

}  // namespace quaymark
