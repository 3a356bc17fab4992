#include "app/list_additions.h"

#include <filesystem>
#include <optional>

#include "app/url_list.h"
#include "base/product.h"
#include "engine/net/http_text.h"
#include "storage/list_lock.h"
#include "storage/program_paths.h"
#include "storage/url_list_file.h"

namespace quaymark {

ListChange AddToList(const std::vector<std::string>& pages, bool dryRun) {
    ListChange change;
    const std::filesystem::path listFile = UrlListPath();
    std::optional<ListLock> lock;
    if (!dryRun) {
        lock.emplace(ListLockPath(listFile));
    }
    std::vector<std::string> entries;
    std::string email;
    const FileResult loaded =
        FileExists(listFile) ? LoadUrlList(listFile, entries, email) : FileResult{};
    UrlList list(std::move(entries));
    std::vector<std::string> lacks = list.Lacking(pages);
    const std::size_t lacking = lacks.size();
    if (!dryRun) {
        for (std::string& page : lacks) {
            list.Append(std::move(page));
        }
    }
    if (lacking == 0 || dryRun) {
        change.added = lacking;
        return change;
    }
    change.notAdded = lacking;
    const std::string notAdded = Counted(lacking, "new page was", "new pages were");
    if (lock->heldElsewhere()) {
        change.why = std::string(kProgramName) + " has the list open: " + notAdded +
                     " not added to it; Announce Changes there adds them.";
    } else if (!lock->held()) {
        change.why = "the list's lock " + ListLockPath(listFile).string() +
                     " could not be taken (" + lock->error().message() + "): " + notAdded +
                     " not added to the list.";
    } else if (!loaded) {
        change.why = "the list " + listFile.string() + " could not be read (" + loaded.Reason() +
                     "): " + notAdded + " not added to it.";
    } else if (const FileResult saved = SaveUrlList(listFile, list.entries(), email); !saved) {
        change.why = "the list " + listFile.string() + " could not be saved (" + saved.Reason() +
                     "): " + notAdded + " not added to it.";
    } else {
        change = {.added = lacking};
    }
    return change;
}

}  // namespace quaymark
