#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>

namespace quaymark {

// libcurl's handles, each freed by its own call when it goes.
struct EasyCleanup {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct SlistFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlCleanup {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ShareCleanup {
    void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
using EasyHandle = std::unique_ptr<CURL, EasyCleanup>;
using Slist = std::unique_ptr<curl_slist, SlistFree>;
using UrlHandle = std::unique_ptr<CURLU, UrlCleanup>;
using ShareHandle = std::unique_ptr<CURLSH, ShareCleanup>;

// Adds a line at the end of the list; a line that cannot be allocated is left out.
inline void Append(Slist& list, const std::string& entry) {
    if (curl_slist* grown = curl_slist_append(list.get(), entry.c_str())) {
        list.release();
        list.reset(grown);
    }
}

}  // namespace quaymark
