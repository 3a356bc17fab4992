#pragma once

#include <QString>
#include <string>
#include <string_view>

#include "app/profile.h"

namespace quaymark::ui {

// The list file's lines, the addresses and the e-mail address are bytes. They are shown as
// UTF-8 where they are valid UTF-8, and every byte that is not as the character of the same
// Latin-1 value, so that no byte is ever hidden behind a replacement character.
QString DisplayText(std::string_view bytes);

// What a field holds after the user had the chance to edit it: the stored bytes while it
// still shows them, otherwise the text as the user typed it, in UTF-8.
std::string FieldBytes(const QString& shown, const std::string& stored);

// A message about one of the user's files: the text's %1 is the file, %2 the reason.
QString FileProblem(const QString& text, const std::filesystem::path& file,
                    const FileResult& result);

}  // namespace quaymark::ui
