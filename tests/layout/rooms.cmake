cmake_minimum_required(VERSION 3.25)
# The rooms of the source tree and what each may include: every room sees the rooms below it
# and its own, never one above it nor a sibling. Run as: cmake -DROOT=<source dir> -P rooms.cmake
set(below_base "base")
set(below_storage "base;storage")
set(below_net "base;engine/net")
set(below_channel "base;storage;engine/net;engine/channel")
set(below_classic "${below_channel};engine/classic")
set(below_indexnow "${below_channel};engine/indexnow")
set(below_google "${below_channel};engine/google")
set(below_bing "${below_channel};engine/bing")
set(below_yandex "${below_channel};engine/yandex")
set(below_baidu "${below_channel};engine/baidu")
set(below_sitemap "base;storage;engine/net;engine/sitemap")
set(below_check "base;engine/net;engine/check")
set(below_crawl "base;engine/net;engine/crawl")
set(below_run
    "${below_channel};engine/classic;engine/indexnow;engine/google;engine/bing;engine/yandex;engine/baidu;engine/sitemap;engine/check;engine/run")
set(below_app "${below_run};engine/crawl;app")
# The command line asks what both faces share and shows what it says: it reaches nothing below.
set(below_cli "base;app;cli")
# The windows likewise: what they show comes from app/.
set(below_ui "base;app;ui")
set(rooms
    "base=below_base" "storage=below_storage" "engine/net=below_net"
    "engine/channel=below_channel" "engine/classic=below_classic"
    "engine/indexnow=below_indexnow" "engine/google=below_google"
    "engine/bing=below_bing" "engine/yandex=below_yandex" "engine/baidu=below_baidu" "engine/sitemap=below_sitemap" "engine/check=below_check" "engine/crawl=below_crawl" "engine/run=below_run"
    "app=below_app" "cli=below_cli" "ui=below_ui")

set(wrong "")
foreach(entry IN LISTS rooms)
    string(REPLACE "=" ";" parts "${entry}")
    list(GET parts 0 room)
    list(GET parts 1 allowedVar)
    set(allowed "${${allowedVar}}")
    file(GLOB sources "${ROOT}/${room}/*.h" "${ROOT}/${room}/*.cpp")
    if(NOT sources)
        list(APPEND wrong "${room}: no sources found")
    endif()
    foreach(source IN LISTS sources)
        file(STRINGS "${source}" includes REGEX "^#include \"")
        foreach(line IN LISTS includes)
            string(REGEX REPLACE "^#include \"(.*)/[^/]*\".*$" "\\1" target "${line}")
            if(NOT target IN_LIST allowed)
                file(RELATIVE_PATH name "${ROOT}" "${source}")
                list(APPEND wrong "${name} includes ${target}")
            endif()
        endforeach()
    endforeach()
endforeach()

# Nothing below the windows, nor the command line, may use Qt.
file(GLOB_RECURSE plain "${ROOT}/base/*" "${ROOT}/storage/*" "${ROOT}/engine/*" "${ROOT}/app/*"
     "${ROOT}/cli/*")
foreach(source IN LISTS plain)
    file(STRINGS "${source}" qt REGEX "^#include <Q")
    if(qt)
        file(RELATIVE_PATH name "${ROOT}" "${source}")
        list(APPEND wrong "${name} uses Qt")
    endif()
endforeach()

# A channel is named outside its room only by the list of channel kinds, by its settings
# (app/channel_setup, which the Channels window and the command line share), by the run's
# stores and the history's side of its memory (engine/run/run_stores, history_log), and by the
# run's files that still decide which channel hears of which page.
set(channels "engine/classic" "engine/indexnow" "engine/google" "engine/bing" "engine/yandex"
    "engine/baidu")
set(namers
    "engine/run/channel_kinds.h" "engine/run/channel_kinds.cpp" "app/channel_setup.h"
    "app/channel_setup.cpp" "engine/run/submit_run.h" "engine/run/announce_changes.h"
    "engine/run/run_stores.h" "engine/run/history_log.h" "engine/run/run_gate.cpp")
# The channels of the engines' own APIs are named by the list of channel kinds alone.
set(own_apis "engine/bing" "engine/yandex" "engine/baidu")
file(GLOB_RECURSE everything "${ROOT}/base/*" "${ROOT}/storage/*" "${ROOT}/engine/*"
     "${ROOT}/app/*" "${ROOT}/cli/*" "${ROOT}/ui/*")
# The history's database is seen by storage, by the stores' side of it, and by what both faces
# share; the engine sees only the records it keeps, through stores of its own.
foreach(source IN LISTS everything)
    file(RELATIVE_PATH name "${ROOT}" "${source}")
    foreach(channel IN LISTS channels)
        string(FIND "${name}" "${channel}/" own)
        set(may_name "${namers}")
        if(channel IN_LIST own_apis)
            set(may_name "engine/run/channel_kinds.cpp")
        endif()
        if(NOT own EQUAL 0 AND NOT name IN_LIST may_name)
            file(STRINGS "${source}" named REGEX "^#include \"${channel}/")
            if(named)
                list(APPEND wrong "${name} names the channel of ${channel}")
            endif()
        endif()
    endforeach()
    if(NOT name MATCHES "^(storage|app)/" AND NOT name MATCHES "^engine/run/history_log\\.")
        file(STRINGS "${source}" database REGEX "^#include \"storage/history.h\"")
        if(database)
            list(APPEND wrong "${name} sees the history's database")
        endif()
    endif()
endforeach()

if(wrong)
    list(JOIN wrong "\n  " text)
    message(FATAL_ERROR "includes pointing up or sideways, or naming a channel:\n  ${text}")
endif()
