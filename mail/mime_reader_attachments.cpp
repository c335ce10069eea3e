// Writing the attachments of a retrieved mail into a folder (or the first
// one to an output): the mail's text goes from the POP3 reader straight into the attachment writer,
// which decodes each file part while it arrives.
#include <string>

#include "mail/mime_attachment_writer.h"
#include "mail/pop3_connection.h"
#include "mail/progress_sink.h"

namespace parvola {

int Pop3Connection::saveThrough(int number, AttachmentWriter& writer) {
    try {
        // A retrieval that breaks off takes the files written so far with
        // it: the writer removes them.
        if (!retrieveInto(number, writer))
            return lastError() == kTransferCancelledCode ? kTransferCancelledCode
                                                         : kRetrievalFailed;
        std::string failure;
        const int result = writer.finish(failure);
        if (!failure.empty())
            lastReply_ = failure;
        return result;
    } catch (...) {
        // Out of memory in the reader itself: the reply is half read, so the
        // connection cannot go on. Files are removed by their owners.
        channel_.close();
        connected_ = false;
        return -1;
    }
}

int Pop3Connection::SaveAttachments(int number, const std::string& folder) {
    try {
        AttachmentWriter writer(folder);
        return saveThrough(number, writer);
    } catch (...) {
        return -1;  // no memory for the writer: nothing was sent
    }
}

int Pop3Connection::StreamAttachment(int number, AttachmentOutput& output, int taskId,
                                     ProgressSink* sink) {
    setProgress(sink, taskId);
    AttachmentWriter writer(output);
    return saveThrough(number, writer);
}

int Pop3Connection::DownloadAttachments(int number, const std::string& folder, int taskId,
                                        ProgressSink* sink) {
    setProgress(sink, taskId);
    return SaveAttachments(number, folder);
}

}  // namespace parvola
