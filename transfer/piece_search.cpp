#include "transfer/piece_search.h"

#include "mail/mime_reader_text.h"
#include "transfer/piece_subject.h"

namespace parvola {
namespace {

bool connectTo(Pop3Connection& connection, const MailboxAccount& account) {
    connection.setTls(account.pop3Tls);
    return connection.Connect(account.pop3Host, account.mailboxUser, account.mailboxPassword,
                              account.pop3Port);
}

// The piece subject of message `number`; false when its header cannot be read.
// `isPiece` tells whether the subject is a piece subject at all.
bool readPieceSubject(Pop3Connection& connection, int number, PieceSubject& subject,
                      bool& isPiece) {
    std::string header;
    if (!connection.GetMessageHeader(number, header))
        return false;
    const std::string text = MimeMessageText(std::move(header)).GetSubject();
    isPiece = looksLikePieceSubject(text);
    if (isPiece)
        subject = parseSubject(text);
    return true;
}

bool sameFile(const PieceSubject& a, const PieceSubject& b) {
    return a.tag == b.tag && a.fileName == b.fileName && a.fileId == b.fileId;
}

}  // namespace

int FindPieceMessage(Pop3Connection& connection, const std::string& subject) {
    const PieceSubject wanted = parseSubject(subject);
    int count = 0, total = 0;
    if (!connection.Statistics(count, total))
        return -1;
    for (int number = count; number >= 1; --number) {
        PieceSubject candidate;
        bool isPiece = false;
        if (!readPieceSubject(connection, number, candidate, isPiece))
            return -1;
        if (isPiece && sameFile(candidate, wanted) && candidate.pieceIndex == wanted.pieceIndex)
            return number;
    }
    return -1;
}

int FetchPiece(const MailboxAccount& account, const std::string& subject, const std::string& folder,
               int taskId, ProgressSink* sink) {
    Pop3Connection connection;
    if (!connectTo(connection, account))
        return -1;
    const int number = FindPieceMessage(connection, subject);
    if (number <= 0)
        return -1;  // the connection closes without QUIT
    const int result = connection.DownloadAttachments(number, folder, taskId, sink);
    if (connection.isConnected())
        connection.Disconnect();
    return result;
}

int RemovePieceMails(const MailboxAccount& account, const std::string& subject) {
    Pop3Connection connection;
    if (!connectTo(connection, account))
        return -1;
    const PieceSubject wanted = parseSubject(subject);
    int count = 0, total = 0;
    if (!connection.Statistics(count, total))
        return -1;
    int deleted = 0;
    for (int number = count; number >= 1; --number) {
        PieceSubject candidate;
        bool isPiece = false;
        // Leaving without QUIT makes the server forget the deletions marked
        // so far: a file loses all its pieces or none.
        if (!readPieceSubject(connection, number, candidate, isPiece))
            return -1;
        if (!isPiece || !sameFile(candidate, wanted) || candidate.pieceCount != wanted.pieceCount)
            continue;
        if (!connection.Delete(number))
            return -1;
        ++deleted;
    }
    // QUIT carries out the deletions.
    return connection.Disconnect() ? deleted : -1;
}

}  // namespace parvola
