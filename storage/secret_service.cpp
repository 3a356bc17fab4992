// The desktop's keyring through the Secret Service (libsecret), shared by the window and the
// command line so that both, and the daily timer, read what either kept.
#include <libsecret/secret.h>

#include <memory>

#include "storage/secret_store.h"

namespace quaymark {
namespace {

const SecretSchema* Schema() {
    static const SecretSchema schema = {
        "org.quaymark.Credential",
        SECRET_SCHEMA_NONE,
        {{"credential", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &schema;
}

struct ErrorFree {
    void operator()(GError* error) const { g_error_free(error); }
};
using Error = std::unique_ptr<GError, ErrorFree>;

struct HashFree {
    void operator()(GHashTable* table) const { g_hash_table_unref(table); }
};
using Attributes = std::unique_ptr<GHashTable, HashFree>;

struct ListFree {
    void operator()(GList* list) const { g_list_free_full(list, g_object_unref); }
};
using Items = std::unique_ptr<GList, ListFree>;

struct ObjectFree {
    void operator()(gpointer object) const { g_object_unref(object); }
};
using Service = std::unique_ptr<SecretService, ObjectFree>;

struct ValueFree {
    void operator()(SecretValue* value) const { secret_value_unref(value); }
};
using Value = std::unique_ptr<SecretValue, ValueFree>;

Attributes AttributesOf(std::string_view name) {
    const std::string text(name);
    return Attributes(secret_attributes_build(Schema(), "credential", text.c_str(), nullptr));
}

std::string Why(const Error& error) {
    return error ? std::string(error->message) : std::string("the keyring did not answer");
}

class Keyring final : public SecretStore {
public:
    Keyring(Service service, Unlock unlock) : service_(std::move(service)), unlock_(unlock) {}

    std::string Where() const override { return "the desktop's keyring"; }
    bool InKeyring() const override { return true; }

    SecretReading Read(std::string_view name) override {
        GError* raw = nullptr;
        const auto flags = static_cast<SecretSearchFlags>(
            SECRET_SEARCH_LOAD_SECRETS | (unlock_ == Unlock::MayAsk ? SECRET_SEARCH_UNLOCK : 0));
        const Items items(secret_service_search_sync(
            service_.get(), Schema(), AttributesOf(name).get(), flags, nullptr, &raw));
        const Error error(raw);
        if (error) {
            return {.kind = SecretReading::Kind::Failed, .detail = Why(error)};
        }
        if (!items) {
            return {};
        }
        auto* item = static_cast<SecretItem*>(items->data);
        const Value value(secret_item_get_secret(item));
        if (secret_item_get_locked(item) || !value) {
            return {.kind = SecretReading::Kind::Locked};
        }
        gsize size = 0;
        const gchar* bytes = secret_value_get(value.get(), &size);
        return {.kind = SecretReading::Kind::Found, .secret = std::string(bytes, size)};
    }

    SecretKept Keep(std::string_view name, const std::string& secret) override {
        if (unlock_ == Unlock::Never && DefaultLocked()) {
            return {false, "the keyring is locked"};
        }
        GError* raw = nullptr;
        const Value value(
            secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain"));
        const std::string label = "Quaymark: " + std::string(name);
        const gboolean stored = secret_service_store_sync(
            service_.get(), Schema(), AttributesOf(name).get(), SECRET_COLLECTION_DEFAULT,
            label.c_str(), value.get(), nullptr, &raw);
        const Error error(raw);
        return stored ? SecretKept{} : SecretKept{false, Why(error)};
    }

    SecretKept Remove(std::string_view name) override {
        GError* raw = nullptr;
        secret_service_clear_sync(service_.get(), Schema(), AttributesOf(name).get(), nullptr,
                                  &raw);
        const Error error(raw);
        return error ? SecretKept{false, Why(error)} : SecretKept{};
    }

private:
    // Keeping in a locked collection would ask to unlock it: what may not ask must not try.
    bool DefaultLocked() const {
        GError* raw = nullptr;
        const std::unique_ptr<SecretCollection, ObjectFree> collection(
            secret_collection_for_alias_sync(service_.get(), SECRET_COLLECTION_DEFAULT,
                                             SECRET_COLLECTION_NONE, nullptr, &raw));
        const Error error(raw);
        return error || !collection || secret_collection_get_locked(collection.get());
    }

    Service service_;
    Unlock unlock_;
};

}  // namespace

std::unique_ptr<SecretStore> KeyringSecrets(Unlock unlock) {
    GError* raw = nullptr;
    // A session opened at once tells whether a Secret Service answers at all.
    Service service(secret_service_get_sync(SECRET_SERVICE_OPEN_SESSION, nullptr, &raw));
    const Error error(raw);
    if (error || !service) {
        return nullptr;
    }
    return std::make_unique<Keyring>(std::move(service), unlock);
}

}  // namespace quaymark
