#include "engine/classic/engine_table.h"

namespace quaymark {
namespace {

// The words of each verdict: how the history names it, and the sentence of its failure line.
struct VerdictWords {
    SubmitVerdict verdict;
    std::string_view name;
    std::string_view sentence;
};

constexpr std::array<VerdictWords, 6> kVerdictWords{{
    {.verdict = SubmitVerdict::Accepted, .name = "accepted", .sentence = {}},
    {.verdict = SubmitVerdict::Failed, .name = "failed", .sentence = "failed."},
    {.verdict = SubmitVerdict::AlreadyKnown,
     .name = "already submitted",
     .sentence = "was already submitted today."},
    {.verdict = SubmitVerdict::AddressRefused,
     .name = "not a valid address",
     .sentence = "is not a valud URL."},
    {.verdict = SubmitVerdict::SiteUnreachable,
     .name = "could not connect",
     .sentence = "could not connect."},
    {.verdict = SubmitVerdict::NoAnswer, .name = "no page", .sentence = "could not connect."},
}};

const VerdictWords& WordsOf(SubmitVerdict verdict) {
    return kVerdictWords[static_cast<std::size_t>(verdict)];
}

}  // namespace

std::string BuildRequestUrl(const EngineRow& row, std::string_view address,
                            std::string_view email) {
    std::string url = "http://";
    url.append(row.host).append(row.path);
    for (std::size_t i = 0; i < row.queryPieces; ++i) {
        const QueryPiece& piece = row.query[i];
        switch (piece.kind) {
            case QueryPiece::Kind::Text:
                url.append(piece.text);
                break;
            case QueryPiece::Kind::Address:
                url.append(address);
                break;
            case QueryPiece::Kind::Email:
                url.append(email);
                break;
        }
    }
    return url;
}

std::string_view FailureSentence(SubmitVerdict verdict) {
    return WordsOf(verdict).sentence;
}

std::string FailureSuffix(SubmitVerdict verdict) {
    const std::string_view sentence = FailureSentence(verdict);
    return sentence.empty() ? std::string() : ": " + std::string(sentence);
}

std::string_view VerdictName(SubmitVerdict verdict) {
    return WordsOf(verdict).name;
}

}  // namespace quaymark
