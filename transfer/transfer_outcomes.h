#pragma once
// How a store and a read end, as the pipelines, their workers and the
// commands that start them tell the cases apart.

namespace parvola {

// How an upload ended.
enum class UploadOutcome {
    Stored,       // every piece mailed and the file entered in the catalog
    Refused,      // stopped with its own message already shown: a name no
                  // folder path can carry, an unreadable or empty source, over
                  // the quota, a file of that name recorded meanwhile, the
                  // catalog folder gone meanwhile, a catalog that could not be
                  // saved, a saved upload whose source is gone or changed;
                  // nothing of the file stays in the mailbox
    Cancelled,    // the user cancelled it: no catalog record, and the piece
                  // mails already sent are removed again
    SplitFailed,  // "分割文件失败" was shown: a piece could not be cut
    SendFailed,   // a piece mail was not accepted (the server's words, if
                  // any, in UploadRequest::failureReply)
    Failed,       // anything else: no file id free, a saved record that
                  // cannot be resumed
};

// How a download ended. Once pieces are being fetched, any end but Saved
// removes the ".part" file again: nothing of the file stays in the save folder.
enum class DownloadOutcome {
    Saved,           // every piece arrived and the file took its final name
    Cancelled,       // the user cancelled it
    PieceAltered,    // a piece read back differs from what was stored
    PieceMissing,    // a piece's mail is no longer in the mailbox (deleted there)
    SaveFolderFull,  // the save folder's disk filled up (the ".part" file is
                     // removed, so the space is free again)
    Failed,          // anything else: a piece not found or not fetched, an
                     // unusable stored subject, a save folder that cannot be
                     // written, a saved download whose ".part" file is gone
};

}  // namespace parvola
