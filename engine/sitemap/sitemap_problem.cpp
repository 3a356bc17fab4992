#include "engine/sitemap/sitemap_problem.h"

namespace quaymark {
namespace {

// "50 MiB", or the bytes where they are no whole number of MiB.
std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                             : std::to_string(bytes) + " bytes";
}

}  // namespace

std::string Describe(const SitemapProblem& problem) {
    using Kind = SitemapProblem::Kind;
    const std::string number = std::to_string(problem.number);
    switch (problem.kind) {
        case Kind::NotWebAddress:
            return "not an http or https address";
        case Kind::Transfer:
            return Describe(problem.transfer);
        case Kind::Answered:
            return "answered " + number;
        case Kind::NotWellFormed:
            return "not well-formed XML (line " + number + ": " + problem.detail + ")";
        case Kind::NotASitemap:
            return "not a sitemap: its root element is <" + problem.detail + ">";
        case Kind::DeclaresEntities:
            return "declares entities, which no sitemap does";
        case Kind::GzipNotStarted:
            return "could not start gzip";
        case Kind::NotGzip:
            return "not valid gzip";
        case Kind::GzipCutShort:
            return "gzip data cut short";
        case Kind::Empty:
            return "empty";
        case Kind::TooLarge:
            return "larger than " + SizeText(problem.number) + " uncompressed";
        case Kind::TooManyAddresses:
            return "holds more than " + number + " addresses";
        case Kind::PageLimit:
            return "the import's limit of " + number +
                   " addresses was reached; the rest was not read";
        case Kind::PageBytesLimit:
            return "the import's limit of " + SizeText(problem.number) +
                   " of addresses was reached; the rest was not read";
    }
    return {};
}

std::string FailureText(const SitemapFailure& failure) {
    return failure.sitemap + ": " + Describe(failure.problem);
}

}  // namespace quaymark
