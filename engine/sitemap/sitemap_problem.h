#pragma once

#include <cstddef>
#include <string>

#include "engine/net/transfer_options.h"

namespace quaymark {

// Why a sitemap could not be read, or was read only in part: a kind with its detail, worded
// by Describe for whoever reads it.
struct SitemapProblem {
    enum class Kind {
        NotWebAddress,     // the address asked for is no http or https address
        Transfer,          // the transfer failed: transfer says why
        Answered,          // another status than 2xx: number
        NotWellFormed,     // number: the line; detail: the XML parser's words
        NotASitemap,       // detail: the root element
        DeclaresEntities,  // which no sitemap needs and every entity-expansion attack does
        GzipNotStarted,
        NotGzip,
        GzipCutShort,
        Empty,
        TooLarge,          // number: the limit of bytes uncompressed
        TooManyAddresses,  // number: the protocol's limit of addresses
        PageLimit,         // number: the import's limit of addresses
        PageBytesLimit,    // number: the import's limit of bytes of addresses
    };
    Kind kind = Kind::Empty;
    std::size_t number = 0;
    std::string detail{};
    TransferFailure transfer{};

    bool operator==(const SitemapProblem&) const = default;
};

// A sitemap and what went wrong with it.
struct SitemapFailure {
    std::string sitemap;
    SitemapProblem problem;

    bool operator==(const SitemapFailure&) const = default;
};

// The problem in words, such as "answered 404"; the detail is as the sitemap gave it, for the
// reader to make displayable.
std::string Describe(const SitemapProblem& problem);

// "<sitemap>: <problem>".
std::string FailureText(const SitemapFailure& failure);

}  // namespace quaymark
