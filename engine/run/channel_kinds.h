#pragma once

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/channel/channel.h"
#include "engine/channel/run_context.h"
#include "engine/check/audience.h"
#include "engine/run/submit_run.h"

namespace quaymark {

// The channels a run announces through, listed once. Outside its own room, a channel is named
// only here and by its settings widget in the Channels window; the layout test holds to it.
//
// To add a channel:
//   1. Give it a room of its own under engine/, with a class that meets the contract of
//      engine/channel/channel.h, and the job it is made from.
//   2. Give that job a member of SubmitJob, filled from the user's settings in
//      ApplyChannelSettings.
//   3. Add one line to the list in channel_kinds.cpp: its name, whether it hears only of the
//      pages their checks let through and to which robots they must be open, whether it takes
//      only new or changed pages, when a job turns it on, how it is made from the job and the
//      pages the run's plan gives it, the names its acceptances are recorded under (each a
//      column of the History window), the engines it reaches and its quota.
//   4. Give it a settings widget in the Channels window. A channel of an engine's own API
//      (engine/channel/api_channel.h) needs none of its own: its AccountKind says what its
//      settings are, and the job's apis hold its settings and credential under its section.
// What is left of a channel's quota for a site: today, and this month where it counts months.
struct QuotaLeft {
    int today = 0;
    std::optional<int> month{};
};

struct ChannelKind {
    std::string_view name;
    // It announces today's engines, and hears only of the pages their checks let through.
    bool modern = false;
    // The robots its pages must be open to, when they are checked.
    Audience audience = kNoRobot;
    // It hears only of the new or changed pages, as the job's settings ask; never when null.
    bool (*newOrChangedOnly)(const SubmitJob& job) = nullptr;
    // It measures the pages' changes itself, from what the history knows of them.
    bool measuresChanges = false;
    // It signs with the IndexNow key: the gate sends it only the hosts that serve the key.
    bool keyChecked = false;
    // On in this job: its settings on, with what it needs. A resend has every channel.
    bool (*on)(const SubmitJob& job) = nullptr;
    // The job's plan, in normal mode, gives the pages it hears of.
    std::unique_ptr<Channel> (*make)(const SubmitJob& job, FetchPrompt& prompt, RunControl& control,
                                     RunRecorder& recorder) = nullptr;
    // The names its acceptances are recorded under, in the History window's order.
    std::vector<std::string_view> (*acceptedAs)() = nullptr;
    // The engines whose robots its announcements call, as the access logs' robots name them.
    std::vector<std::string_view> (*reaches)() = nullptr;
    // What is left of its quota for the site, as the job's stores count it; none when it has
    // no quota or none is known.
    std::optional<QuotaLeft> (*quotaLeft)(const SubmitJob& job, const std::string& site) = nullptr;
    // An engine's own API, signed with the user's credential: what its settings are.
    const AccountKind* account = nullptr;
};

// In sending order.
std::span<const ChannelKind> ChannelKinds();

// What the user's settings and keys give the channels.
struct ChannelSettings {
    IndexNowSettings settings{};
    // Google Search Console's key; none while it is off or its key cannot be taken.
    std::optional<ServiceKey> googleKey{};
    // The credentials of the engines' own channels, by section.
    std::map<std::string, std::string, std::less<>> credentials{};
};
void ApplyChannelSettings(SubmitJob& job, const ChannelSettings& channels);

// Some channel is on, and some modern one.
bool AnyChannelOn(const SubmitJob& job);
bool AnyChannelOn(const ChannelSettings& channels);
bool AnyModernChannelOn(const SubmitJob& job);
bool AnyModernChannelOn(const ChannelSettings& channels);

// The channels this job sends through, in sending order; a resend has every channel at hand,
// since its requests name the channel that sent them.
std::vector<std::unique_ptr<Channel>> MakeChannels(const SubmitJob& job, FetchPrompt& prompt,
                                                   RunControl& control, RunRecorder& recorder);

// The channels of the engines' own APIs, in sending order.
std::vector<const ChannelKind*> AccountKinds();
// The kind whose settings are in the section; none when no channel's are.
const ChannelKind* AccountKindOf(std::string_view section);

// The names acceptances are recorded under, every channel's, in the History window's order.
std::vector<std::string> AcceptanceNames();

// The channel whose last acceptance of a page is what a change of the page is measured from:
// what is "new or changed" to every run, and "sent today" to the History window.
std::string ChangesMeasuredFrom();

}  // namespace quaymark
