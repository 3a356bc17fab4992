#pragma once

#include <QString>

namespace quaymark::ui {

// The program's name as its own messages and pictures give it.
inline const QString kProgramTitle = QStringLiteral("Quaymark!");

}  // namespace quaymark::ui
