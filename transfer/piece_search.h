#pragma once
// Finding a stored file's piece mails in the mailbox over POP3, by parsing
// each message's subject and comparing fields (never by a prefix or the first
// hit): fetching one piece, and deleting every piece of a purged file.
#include <string>

#include "mail/mailbox_account.h"
#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"

namespace parvola {

// The number of the newest message whose piece subject has the tag, file
// name, file id and piece index of `subject` (time, length, reserved text and
// count are not compared); catalog mails never match. -1 when none matches or
// STAT or a header read fails.
int FindPieceMessage(Pop3Connection& connection, const std::string& subject);

// One POP3 session: finds the piece named by `subject` and writes its
// attachment into `folder`, reporting the retrieval to `sink` under `taskId`.
// 0 on success; -1 when the connection fails or no message matches;
// otherwise the attachment saving's result (428020231 when `sink` stopped it).
int FetchPiece(const MailboxAccount& account, const std::string& subject, const std::string& folder,
               int taskId, ProgressSink* sink);

// Deletes every piece mail of the file named by `subject` (same tag, file
// name, file id and piece count) in one POP3 session. The number of mails
// deleted, or -1 on a failure; a failed header read drops the connection
// without QUIT, so the server deletes nothing at all.
int RemovePieceMails(const MailboxAccount& account, const std::string& subject);

}  // namespace parvola
