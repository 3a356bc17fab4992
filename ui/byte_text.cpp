#include "ui/byte_text.h"

namespace quaymark::ui {
namespace {

bool IsContinuation(unsigned char byte, unsigned char low = 0x80, unsigned char high = 0xBF) {
    return byte >= low && byte <= high;
}

// The length of the well-formed UTF-8 sequence at the start of the bytes (no overlong forms,
// no surrogates, nothing beyond U+10FFFF), or 0 when there is none.
std::size_t SequenceLength(std::string_view bytes) {
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length || !IsContinuation(at(1), low, high)) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (!IsContinuation(at(i))) {
            return 0;
        }
    }
    return length;
}

}  // namespace

QString DisplayText(std::string_view bytes) {
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()));
    std::size_t validFrom = 0;
    std::size_t i = 0;
    const auto flushValid = [&] {
        text += QString::fromUtf8(bytes.data() + validFrom, static_cast<qsizetype>(i - validFrom));
    };
    while (i < bytes.size()) {
        const std::size_t length = SequenceLength(bytes.substr(i));
        if (length > 0) {
            i += length;
            continue;
        }
        flushValid();
        text += QChar(static_cast<unsigned char>(bytes[i]));
        validFrom = ++i;
    }
    flushValid();
    return text;
}

std::string FieldBytes(const QString& shown, const std::string& stored) {
    if (shown == DisplayText(stored)) {
        return stored;
    }
    return shown.toStdString();
}

QString FileProblem(const QString& text, const std::filesystem::path& file,
                    const FileResult& result) {
    return text.arg(DisplayText(file.string()), QString::fromStdString(result.Reason()));
}

}  // namespace quaymark::ui
