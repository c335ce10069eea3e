#include "platform/keyring.h"

#ifdef PARVOLA_HAVE_LIBSECRET
#include <libsecret/secret.h>
#endif

namespace parvola {

#ifdef PARVOLA_HAVE_LIBSECRET
namespace {

const SecretSchema* schema() {
    static const SecretSchema kSchema = {
        "net.parvola.MailboxPassword",
        SECRET_SCHEMA_NONE,
        {{"address", SECRET_SCHEMA_ATTRIBUTE_STRING}, {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
        0,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr};
    return &kSchema;
}

// A GError owned until the end of the scope.
struct ErrorHolder {
    GError* error = nullptr;
    ~ErrorHolder() {
        if (error)
            g_error_free(error);
    }
};

// No bus, or nobody owning the Secret Service name on it, is "no keyring";
// anything else the keyring said is a failure of the keyring. Without a bus
// address a desktop session's bus is started through dbus-launch, and a
// machine without it answers with a spawn error: no keyring either.
KeyringResult judge(const GError* error, std::string& failure) {
    failure = error->message ? error->message : "unknown keyring error";
    const bool noService =
        error->domain == G_IO_ERROR || error->domain == G_SPAWN_ERROR ||
        error->domain == G_SPAWN_EXIT_ERROR ||
        (error->domain == G_DBUS_ERROR &&
         (error->code == G_DBUS_ERROR_SERVICE_UNKNOWN ||
          error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER ||
          error->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED ||
          error->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND ||
          error->code == G_DBUS_ERROR_NOT_SUPPORTED || error->code == G_DBUS_ERROR_FILE_NOT_FOUND ||
          error->code == G_DBUS_ERROR_NO_SERVER || error->code == G_DBUS_ERROR_NO_REPLY ||
          error->code == G_DBUS_ERROR_TIMEOUT || error->code == G_DBUS_ERROR_DISCONNECTED));
    return noService ? KeyringResult::Unavailable : KeyringResult::Failed;
}

}  // namespace

KeyringResult keyringStore(const std::string& address, const std::string& secret,
                           std::string& failure) {
    ErrorHolder holder;
    const std::string label = "Parvola mailbox password for " + address;
    if (secret_password_store_sync(schema(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                   secret.c_str(), nullptr, &holder.error, "address",
                                   address.c_str(), nullptr))
        return KeyringResult::Ok;
    if (!holder.error) {
        failure = "the keyring did not take the password";
        return KeyringResult::Failed;
    }
    return judge(holder.error, failure);
}

KeyringResult keyringLookup(const std::string& address, std::string& secret, std::string& failure) {
    ErrorHolder holder;
    gchar* found = secret_password_lookup_sync(schema(), nullptr, &holder.error, "address",
                                               address.c_str(), nullptr);
    if (holder.error)
        return judge(holder.error, failure);
    if (!found)
        return KeyringResult::NotFound;
    secret.assign(found);
    secret_password_free(found);
    return KeyringResult::Ok;
}

KeyringResult keyringRemove(const std::string& address, std::string& failure) {
    ErrorHolder holder;
    const gboolean removed = secret_password_clear_sync(schema(), nullptr, &holder.error, "address",
                                                        address.c_str(), nullptr);
    if (holder.error)
        return judge(holder.error, failure);
    return removed ? KeyringResult::Ok : KeyringResult::NotFound;
}

#else

KeyringResult keyringStore(const std::string&, const std::string&, std::string& failure) {
    failure = "built without keyring support";
    return KeyringResult::Unavailable;
}
KeyringResult keyringLookup(const std::string&, std::string&, std::string& failure) {
    failure = "built without keyring support";
    return KeyringResult::Unavailable;
}
KeyringResult keyringRemove(const std::string&, std::string& failure) {
    failure = "built without keyring support";
    return KeyringResult::Unavailable;
}

#endif

bool keyringAnswers() {
    std::string secret;
    std::string failure;
    return keyringLookup("parvola-keyring-probe@invalid", secret, failure) !=
           KeyringResult::Unavailable;
}

}  // namespace parvola
