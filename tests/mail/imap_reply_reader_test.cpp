// The IMAP reply framing and its interpretation on hand-written replies:
// the same responses whether the bytes come whole or one at a time, the
// fetched message's literal streamed rather than kept, the bounds, and the
// names and UID sets that go into commands.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mail/imap_names.h"
#include "mail/imap_reply_reader.h"
#include "mail/imap_response.h"
#include "mail/message_text_sink.h"

namespace parvola {
namespace {

// Feeds `bytes` in pieces of `step` bytes; the responses in order, or the
// failure as the last entry ("FAILED: ...").
std::vector<ImapResponse> readAll(ImapReplyReader& reader, const std::string& bytes, size_t step,
                                  std::string* failure = nullptr) {
    std::vector<ImapResponse> responses;
    for (size_t at = 0; at < bytes.size(); at += step) {
        std::string_view piece(bytes.data() + at, std::min(step, bytes.size() - at));
        while (!piece.empty()) {
            const auto result = reader.feed(piece);
            if (result == ImapReplyReader::Step::Response)
                responses.push_back(reader.response());
            if (result == ImapReplyReader::Step::Failed) {
                if (failure != nullptr)
                    *failure = reader.failure();
                return responses;
            }
        }
    }
    return responses;
}

const std::string kReplies =
    "* OK [CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS APPENDLIMIT=35651584] ready\r\n"
    "* 2 FETCH (UID 41 RFC822.SIZE 5120 BODY[HEADER.FIELDS (SUBJECT)] {22}\r\n"
    "Subject: PARVOL:;a\r\n\r\n FLAGS (\\Seen))\r\n"
    "* 3 EXPUNGE\r\n"
    "+ go ahead\r\n"
    "A7 NO [TRYCREATE] no such folder\r\n";

TEST(ImapReplyReader, GivesTheSameResponsesHoweverTheBytesArriveAndReadsTheirItems) {
    for (size_t step : {kReplies.size(), size_t{1}, size_t{7}}) {
        ImapReplyReader reader;
        const auto responses = readAll(reader, kReplies, step);
        ASSERT_EQ(responses.size(), 5u) << step;
        EXPECT_EQ(responses[0].kind, ImapResponse::Kind::Untagged);
        const ImapStatus greeting = parseStatus(responses[0].text);
        EXPECT_EQ(greeting.word, "OK");
        const auto capabilities = capabilitiesOfStatus(greeting);
        EXPECT_TRUE(hasCapability(capabilities, "uidplus"));
        EXPECT_EQ(capabilityNumber(capabilities, "APPENDLIMIT"), 35651584u);

        ImapFetch fetch;
        ASSERT_TRUE(parseFetch(responses[1], fetch)) << responses[1].text;
        EXPECT_EQ(fetch.sequence, 2u);
        EXPECT_EQ(fetch.uid, 41u);
        EXPECT_EQ(fetch.size, 5120u);
        EXPECT_EQ(fetch.header, "Subject: PARVOL:;a\r\n\r\n");
        EXPECT_FALSE(fetch.hasBody);

        uint32_t number = 0;
        std::string word;
        EXPECT_TRUE(parseNumbered(responses[2].text, number, word));
        EXPECT_EQ(word, "EXPUNGE");
        EXPECT_EQ(number, 3u);
        EXPECT_EQ(responses[3].kind, ImapResponse::Kind::Continuation);
        EXPECT_EQ(responses[4].kind, ImapResponse::Kind::Tagged);
        EXPECT_EQ(responses[4].tag, "A7");
        EXPECT_EQ(parseStatus(responses[4].text).code, "TRYCREATE");
    }
}

TEST(ImapReplyReader, StreamsTheFetchedMessageAndKeepsItsBoundsElsewhere) {
    const std::string message(ImapReplyReader::kMaxKeptLiterals + 1000, 'm');
    const std::string reply = "* 1 FETCH (UID 9 BODY[] {" + std::to_string(message.size()) +
                              "}\r\n" + message + ")\r\nA3 OK done\r\n";
    std::string streamed;
    StringTextSink sink(streamed);
    ImapReplyReader reader;
    reader.setLiteralSink(&sink);
    const auto responses = readAll(reader, reply, 4096);
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(streamed, message);
    EXPECT_EQ(responses[0].streamedLiterals, 1);
    ImapFetch fetch;
    ASSERT_TRUE(parseFetch(responses[0], fetch));
    EXPECT_TRUE(fetch.hasBody && fetch.bodyStreamed);
    EXPECT_EQ(fetch.uid, 9u);

    // Without a sink the same literal is over the bound of a kept value.
    ImapReplyReader keeping;
    std::string failure;
    EXPECT_TRUE(readAll(keeping, reply, 4096, &failure).empty());
    EXPECT_NE(failure.find("literal of " + std::to_string(message.size()) + " bytes"),
              std::string::npos)
        << failure;

    // A line that never ends fails at the bound, not at the end of memory.
    ImapReplyReader endless;
    const std::string noBreak(ImapReplyReader::kMaxLineLength + 10, 'x');
    EXPECT_TRUE(readAll(endless, "* " + noBreak, 65536, &failure).empty());
    EXPECT_NE(failure.find("longer than"), std::string::npos);
    std::string_view more = "\r\n";
    EXPECT_EQ(endless.feed(more), ImapReplyReader::Step::Failed);

    // What is not a UID or a FETCH item list is refused, not guessed.
    std::vector<uint32_t> uids;
    EXPECT_TRUE(parseSearch("SEARCH 4 9 4294967295", uids));
    EXPECT_EQ(uids.size(), 3u);
    EXPECT_FALSE(parseSearch("SEARCH 4 0", uids));
    EXPECT_FALSE(parseSearch("SEARCH 4 4294967296", uids));
    ImapReplyReader broken;
    const auto bad = readAll(broken, "* 1 FETCH (UID 9 BODY[] \"unterminated)\r\n", 100);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_FALSE(parseFetch(bad[0], fetch));
}

TEST(ImapNames, QuotesWhatQuotingCarriesAndWritesFolderNamesInModifiedUtf7) {
    std::string quoted;
    EXPECT_TRUE(imapQuoted("a \"b\" \\c", quoted));
    EXPECT_EQ(quoted, "\"a \\\"b\\\" \\\\c\"");
    EXPECT_FALSE(imapQuoted("pässwort", quoted));
    EXPECT_FALSE(imapQuoted("a\r\nA2 LOGOUT", quoted));

    std::string wire;
    EXPECT_TRUE(imapMailboxName("INBOX", wire));
    EXPECT_EQ(wire, "INBOX");
    EXPECT_TRUE(imapMailboxName("Entwürfe", wire));
    EXPECT_EQ(wire, "Entw&APw-rfe");
    EXPECT_TRUE(imapMailboxName("台北", wire));
    EXPECT_EQ(wire, "&U,BTFw-");
    EXPECT_TRUE(imapMailboxName("A&B 😀", wire));
    EXPECT_EQ(wire, "A&-B &2D3eAA-");
    EXPECT_FALSE(imapMailboxName("\xff", wire));

    EXPECT_EQ(imapUidSet({3, 4, 5, 7, 9, 10}), "3:5,7,9:10");
    EXPECT_EQ(imapUidSet({42}), "42");
}

}  // namespace
}  // namespace parvola
