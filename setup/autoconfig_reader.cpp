#include "setup/autoconfig_reader.h"

#include <charconv>

#include "catalog/xml/xml_doc.h"
#include "catalog/xml/xml_entities.h"

namespace parvola {
namespace {

std::string_view trimmed(std::string_view text) {
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && space(text.back()))
        text.remove_suffix(1);
    return text;
}

// A host name as it may be quoted in a refusal: control characters and
// bytes outside ASCII shown as \xNN, at most 80 bytes.
std::string shown(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text.substr(0, 80)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    if (text.size() > 80)
        out += "...";
    return out;
}

class DocumentWalk {
  public:
    explicit DocumentWalk(const XmlDoc& doc) : doc_(doc) {}

    int firstChild(int slot, std::string_view name) const {
        return nextFrom(doc_.slot(slot).firstChild, name);
    }
    int nextSibling(int slot, std::string_view name) const {
        return nextFrom(doc_.slot(slot).nextSibling, name);
    }
    // The text inside an element with its references resolved; an element
    // holding further markup reads as `markup` set.
    std::string text(int slot, bool& markup) const {
        const XmlSlot& e = doc_.slot(slot);
        markup = false;
        if (e.endTagLength == 0)
            return {};
        const std::string_view inner =
            std::string_view(doc_.text())
                .substr(static_cast<size_t>(e.start + e.startTagLength),
                        static_cast<size_t>(e.length - e.startTagLength - e.endTagLength));
        if (inner.find('<') != std::string_view::npos) {
            markup = true;
            return {};
        }
        return resolveEntities(trimmed(inner));
    }
    std::string childText(int slot, std::string_view name, bool& markup) const {
        const int child = firstChild(slot, name);
        markup = false;
        return child == 0 ? std::string() : text(child, markup);
    }

  private:
    int nextFrom(int slot, std::string_view name) const {
        for (; slot != 0; slot = doc_.slot(slot).nextSibling)
            if (doc_.tagName(slot) == name)
                return slot;
        return 0;
    }
    const XmlDoc& doc_;
};

AutoconfigResult refuse(AutoconfigRefusal refusal, std::string reason) {
    AutoconfigResult result;
    result.refusal = refusal;
    result.reason = std::move(reason);
    return result;
}

}  // namespace

AutoconfigResult readAutoconfig(std::string_view document, std::string_view domain,
                                bool tlsRequired) {
    if (document.size() > kMaxAutoconfigBytes)
        return refuse(AutoconfigRefusal::TooLarge,
                      "the autoconfiguration document is larger than 256 KiB");
    const std::string_view start = trimmed(document.substr(0, 64));
    if (document.find('\0') != std::string_view::npos || start.empty() ||
        (start.front() != '<' && start.substr(0, 3) != "\xEF\xBB\xBF"))
        return refuse(AutoconfigRefusal::NotXml, "the autoconfiguration answer is not XML");
    XmlDoc doc;
    if (!doc.setText(document))
        return refuse(AutoconfigRefusal::NotXml,
                      "the autoconfiguration document is not well-formed XML");
    DocumentWalk walk(doc);
    const int root = walk.firstChild(0, "clientConfig");
    const int provider = root == 0 ? 0 : walk.firstChild(root, "emailProvider");
    if (provider == 0)
        return refuse(AutoconfigRefusal::NotAutoconfig,
                      "the XML document is not a mail autoconfiguration (no clientConfig with "
                      "an emailProvider)");

    AutoconfigResult result;
    bool markup = false;
    result.displayName = walk.childText(provider, "displayName", markup);
    if (markup || result.displayName.size() > 200)
        result.displayName.clear();
    bool plainLeftOut = false;
    for (const char* element : {"incomingServer", "outgoingServer"}) {
        for (int server = walk.firstChild(provider, element); server != 0;
             server = walk.nextSibling(server, element)) {
            const std::string type = doc.getAttribute(server, "type");
            ServerUrl* slot = type == "imap"   ? &result.servers.imap
                              : type == "pop3" ? &result.servers.pop3
                              : type == "smtp" ? &result.servers.smtp
                                               : nullptr;
            if (slot == nullptr)
                continue;  // exchange, ews, jmap and the like: not ours
            std::string host = walk.childText(server, "hostname", markup);
            for (size_t at = host.find("%EMAILDOMAIN%"); at != std::string::npos;
                 at = host.find("%EMAILDOMAIN%", at + domain.size()))
                host.replace(at, 13, domain);
            if (markup || !isServerHostName(host))
                return refuse(AutoconfigRefusal::BadHost,
                              "the autoconfiguration document names a server \"" + shown(host) +
                                  "\" that is not a host name");
            const std::string portText = walk.childText(server, "port", markup);
            int port = 0;
            auto [end, ec] =
                std::from_chars(portText.data(), portText.data() + portText.size(), port);
            if (markup || ec != std::errc() || end != portText.data() + portText.size() ||
                port < 1 || port > 65535)
                return refuse(AutoconfigRefusal::BadPort, "the autoconfiguration document gives " +
                                                              host + " the port \"" +
                                                              shown(portText) + "\"");
            const std::string socket = walk.childText(server, "socketType", markup);
            TlsMode tls;
            if (socket == "SSL")
                tls = TlsMode::Implicit;
            else if (socket == "STARTTLS")
                tls = TlsMode::StartTls;
            else if (socket == "plain") {
                if (tlsRequired) {
                    plainLeftOut = true;
                    continue;
                }
                tls = TlsMode::StartTlsIfOffered;
            } else {
                continue;
            }
            if (!slot->empty())
                continue;  // the document's first choice stands
            slot->protocol = type == "imap"   ? ServerProtocol::Imap
                             : type == "pop3" ? ServerProtocol::Pop3
                                              : ServerProtocol::Smtp;
            slot->host = host;
            slot->port = port;
            slot->tls = tls;
        }
    }
    if (!result.servers.complete()) {
        if (plainLeftOut)
            return refuse(AutoconfigRefusal::PlainTextServer,
                          "the autoconfiguration document offers only servers without TLS, and "
                          "a password is not sent without TLS");
        return refuse(AutoconfigRefusal::NoUsableServer,
                      "the autoconfiguration document names no IMAP or POP3 server together "
                      "with an SMTP server");
    }
    return result;
}

}  // namespace parvola
