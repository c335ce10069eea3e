#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

The seeds are the hostile cases each reader must survive: names with "..",
huge lines, truncated replies, deep nesting, numbers out of range. Run it
again after changing a case; the files it writes are committed.
"""
import base64
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def b64lines(data):
    flat = base64.b64encode(data).decode()
    return "".join(flat[i:i + 76] + "\r\n" for i in range(0, len(flat), 76))


def file_part(name, data, disposition='Content-Disposition: attachment;\r\n\tfilename="'):
    return ('Content-Type: application/octet-stream;\r\n\tname="' + name +
            '"\r\nContent-Transfer-Encoding: base64\r\n' + disposition + name + "\r\n\r\n" +
            b64lines(data))


def store_mail(parts, content_type='multipart/mixed;\r\n\tboundary="OUT"'):
    mail = ("From: <a@sina.test>\r\nTo: <a@sina.test>\r\nSubject: PARVOL:;a.txt;7;1700000000;"
            "10;0000000000;1;1\r\nMIME-Version: 1.0\r\nContent-Type: " + content_type +
            "\r\n\r\nThis is a multipart message in MIME format\r\n\r\n--OUT\r\n"
            'Content-Type: multipart/alternative;\r\n\tboundary="IN"\r\n\r\n\r\n--IN\r\n'
            'Content-Type: text/plain;\r\n\tcharset="iso-8859-1"\r\n'
            "Content-Transfer-Encoding: 7bit\r\n\r\nA stored piece.\r\n--IN--\r\n\r\n")
    for part in parts:
        mail += "--OUT\r\n" + part
    return mail + "--OUT--\r\n"


def multi(message):
    out = "".join(("." + l if l.startswith(".") else l) for l in message.splitlines(True))
    if not out.endswith("\r\n"):
        out += "\r\n"
    return out + ".\r\n"


# ---- POP3 replies: selector byte, replies separated by 0x1E ----
def pop3(name, selector, replies):
    write("pop3_replies", name, bytes([selector]) + "\x1e".join(replies).encode("latin-1"))


MAIL = store_mail([file_part("a.txt", b"hello piece")])
LOGIN = ["+OK POP3 ready\r\n", "+OK\r\n", "+OK logged in\r\n"]
STAT = "+OK 2 320\r\n"
LIST = "+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n"
pop3("whole_session", 0, LOGIN + [STAT, STAT, LIST, "+OK\r\n" + multi(MAIL), "+OK 1 %d\r\n" % len(MAIL),
                                  "+OK\r\n" + multi(MAIL), "+OK deleted\r\n", "+OK bye\r\n"])
pop3("progress_session", 4, LOGIN + [STAT, STAT, LIST, "+OK\r\n" + multi(MAIL), "+OK 1 5\r\n",
                                     "+OK\r\n" + multi(MAIL), "+OK\r\n", "+OK\r\n"])
pop3("greeting_only", 0, ["+OK POP3 ready\r\n"])
pop3("truncated_greeting", 0, ["+OK POP3 rea"])
pop3("err_greeting", 0, ["-ERR go away\r\n"])
pop3("lower_case_ok", 1, ["+ok hi\r\n", "+oK\r\n", "+Ok\r\n", "+ok 1 1\r\n", "+OK 1 1\r\n",
                          "+ok\r\n1 1\r\n.\r\n"])
pop3("huge_greeting_line", 0, ["+OK " + "x" * 200000 + "\r\n"])
pop3("huge_stat_numbers", 2, LOGIN + ["+OK 4294967295 99999999999999999999\r\n",
                                      "+OK -1 -1\r\n", "+OK\r\n.\r\n"])
# A count that fits an int: the listing must not reserve room for it.
pop3("stat_count_int_max", 2, LOGIN + ["+OK 2147483647 9\r\n", "+OK\r\n1 120\r\n.\r\n"])
pop3("stat_without_numbers", 0, LOGIN + ["+OK\r\n", "+OK \r\n", LIST])
pop3("list_huge_size", 0, LOGIN + [STAT, STAT, "+OK\r\n1 4294967295\r\n.\r\n", "+OK\r\n.\r\n",
                                   "+OK 1 4294967295\r\n", "+OK\r\nshort\r\n.\r\n"])
pop3("list_many_entries", 0, LOGIN + ["+OK 3000 1\r\n", "+OK 3000 1\r\n",
                                      "+OK\r\n" + "".join("%d %d\r\n" % (i, i) for i in range(1, 3001)) + ".\r\n"])
pop3("list_not_ended", 0, LOGIN + [STAT, STAT, "+OK 2 messages\r\n1 120\r\n2 200\r\n"])
pop3("list_err", 0, LOGIN + [STAT, STAT, "-ERR no\r\n"])
pop3("top_truncated", 0, LOGIN + [STAT, STAT, LIST, "+OK\r\nSubject: PARVOL:;a"])
pop3("top_err_then_more", 0, LOGIN + [STAT, STAT, LIST, "-ERR no such message\r\nSubject: x\r\n.\r\n"])
pop3("retr_truncated", 1, LOGIN + [STAT, STAT, LIST, "+OK\r\n.\r\n", "+OK 2 200\r\n",
                                   "+OK\r\n" + MAIL[:150]])
pop3("retr_size_lies", 0, LOGIN + [STAT, STAT, LIST, "+OK\r\n.\r\n", "+OK 1 3\r\n",
                                   "+OK\r\n" + multi(MAIL * 20)])
pop3("nul_in_replies", 0, ["+OK\0\r\n", "+OK\0\0\r\n", "+OK\r\n", "+OK 1\0 2\r\n", "+OK 1\t2\r\n",
                           "+OK\r\n1\0 5\r\n.\r\n"])
pop3("two_replies_at_once", 0, ["+OK hi\r\n+OK\r\n", "+OK\r\n+OK\r\n", "+OK 1 1\r\n"])
pop3("bare_line_feeds", 0, ["+OK hi\n", "+OK\n", "+OK\r\n", "+OK 1 1\n", "+OK 1 1\r\n",
                            "+OK\n1 1\n.\n"])
pop3("empty", 0, [])

# ---- attachments: the mail text ----
def att(name, mail):
    write("save_attachments", name, mail)


att("one_file", MAIL)
att("two_files", store_mail([file_part("a.bin", bytes(range(256))), file_part("b.bin", b"\0" * 300)]))
att("dotdot_name", store_mail([file_part("../../escape.txt", b"out")]))
att("backslash_dotdot_name", store_mail([file_part("..\\..\\escape.txt", b"out")]))
att("absolute_name", store_mail([file_part("/tmp/escape.txt", b"out")]))
att("only_dots", store_mail([file_part("..", b"x"), file_part(".", b"y"), file_part("", b"z")]))
att("name_with_slash_folder", store_mail([file_part("sub/dir/f.txt", b"x")]))
att("one_line_disposition", store_mail([file_part("a.txt", b"x", 'Content-Disposition: attachment; filename="')]))
att("plain_filename_line", store_mail([file_part("a.txt", b"x", 'Content-Disposition: attachment;\r\nfilename="')]))
att("disposition_without_name", store_mail(["Content-Type: text/plain\r\nContent-Disposition: attachment;\r\n\r\nbody\r\n"]))
att("huge_base64_line", store_mail(["Content-Disposition: attachment;\r\n\tfilename=\"h.bin\r\n\r\n" +
                                    base64.b64encode(bytes((i * 7) & 255 for i in range(150000))).decode() + "\r\n"]))
att("huge_name", store_mail([file_part("n" * 5000, b"x")]))
att("bad_base64", store_mail(["Content-Disposition: attachment;\r\n\tfilename=\"b.bin\r\n\r\n"
                              "!!!===abc=\r\n====\r\nQQ\r\n"]))
att("truncated_header", MAIL[:60])
att("truncated_in_part", MAIL[:len(MAIL) - 40])
att("no_boundary", MAIL.replace('boundary="OUT"', "boundary=OUT"))
att("empty_boundary", MAIL.replace('boundary="OUT"', 'boundary=""'))
att("first_part_attachment", 'Content-Type: multipart/mixed; boundary="B"\r\n\r\n--B\r\n'
    'Content-Disposition: attachment;\r\n\tfilename="f.bin\r\n\r\n' + b64lines(b"first") + "--B--\r\n")
att("not_multipart", "Content-Type: text/plain\r\n\r\nhello\r\n")
att("dot_lines", store_mail([file_part("d.txt", b"x")]).replace("A stored piece.", ".\r\n..\r\n."))
att("gb18030_name", store_mail([file_part("\u6587\u4ef6.txt", b"x")]).encode("gb18030"))

# ---- header access ----
def mime(name, text):
    write("mime_message_text", name, text)


mime("store_mail", MAIL)
mime("folded_fields", "Subject: a\r\n b\r\n\tc\r\nSUBJECT: second\r\nsubject:third\r\n\r\nbody")
mime("no_blank_line", "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"")
mime("one_quote_boundary", 'Content-Type: multipart/mixed; boundary="abc\r\n\r\n')
mime("encoded_word", "Subject: =?gb2312?B?zsS8/g==?=\r\n\r\n")
mime("gb18030_subject", ("Subject: \u6587\u4ef6 PARVOL:;\u6587.txt;1;2;3;0000000000;1;1\r\n\r\n").encode("gb18030"))
mime("invalid_gb18030", b"Subject: \x81\x30\x81\xff\xfe\x80\r\n\r\n")
mime("huge_field", "Subject: " + "s" * 100000 + "\r\n\r\n")
mime("only_blank", "\r\n\r\n")
mime("field_name_only", "Subject\r\nSubject:\r\n:\r\n\r\n")

# ---- piece subjects ----
def subj(name, text):
    write("piece_subject", name, text)


subj("plain", "PARVOL:;a.txt;7;1700000000;1048576;0000000000;3;2")
subj("dotdot_name", "PARVOL:;../../x;7;1;2;0000000000;1;1")
subj("overflow", "PARVOL:;a;99999999999999999999;-99999999999999999999;9223372036854775808;x;2147483648;-2147483649")
subj("missing_fields", "PARVOL:;a;7")
subj("signs_and_blanks", "PARVOL:; ; +7; -1;\t 5;;  -0;+")
subj("huge", "PARVOL:;" + "n" * 100000 + ";1;2;3;0000000000;1;1")
subj("catalog", "PARVOLCONFIG;bob;12;1700000000")
subj("empty", "")

# ---- XML: selector byte, then the text ----
def xml(name, selector, text):
    write("xml_doc", name, bytes([selector]) + (text.encode("utf-8") if isinstance(text, str) else text))


CATALOG = ('<?xml version="1.0" encoding="UTF-8"?>\r\n<User Name="bob" Version="3" SUM="10">'
           '<Folder Name="a"><File Name="f.txt" Path="a" Subject="PARVOL:;f.txt;1;2;3;0000000000;1;1" '
           'MsgID="1" CT="24-01-01 10:00:00" Size="10" LT="x" Del="false"/></Folder>'
           '<Recycle/></User>')
xml("catalog", 0, CATALOG)
xml("catalog_edited", 6, CATALOG)
xml("catalog_ignore_case", 3, CATALOG.lower())
xml("deep_nesting", 2, "<a>" * 20000 + "</a>" * 20000)
xml("deep_not_ended", 6, "<a>" * 30000)
xml("wide", 2, "<r>" + '<f Name="x"/>' * 20000 + "</r>")
xml("entities", 2, '<r Name="&lt;&amp;&#x41;&#65;&#xFFFFFFFF;&#99999999999;&bogus;&" x=\'\'>&amp;</r>')
xml("unquoted_and_broken", 2, "<r Name=x Size=1 <f Name=\"y></r>")
xml("cdata_comment_pi", 2, "<?x?><!DOCTYPE r [<!ENTITY e 'x'>]><r><!-- c --><![CDATA[<no>]]><?pi a?></r>")
xml("mismatched_ends", 6, "<a><b></a></b></c><d/>")
xml("huge_attribute", 2, '<r Name="' + "v" * 200000 + '"/>')
xml("lone_lt", 2, "<<<<>>>></ ></>< a/>")

# ---- text files: selector byte, then the bytes ----
def textf(name, selector, data):
    write("text_file", name, bytes([selector]) + (data.encode("utf-8") if isinstance(data, str) else data))


textf("utf8_catalog", 3, CATALOG)
textf("utf8_bom", 3, b"\xef\xbb\xbf" + CATALOG.encode())
textf("utf16le_bom", 3, b"\xff\xfe" + CATALOG.encode("utf-16-le"))
textf("utf16be_bom", 3, b"\xfe\xff" + CATALOG.encode("utf-16-be"))
textf("utf16_odd_length", 1, b"\xff\xfe<\x00a\x00>")
textf("utf32_declared", 3, '<?xml version="1.0" encoding="UTF-32"?><r/>')
textf("gbk_declared", 3, '<?xml version="1.0" encoding="GBK"?><r n="'.encode() + "\u6587\u4ef6".encode("gbk") + b'"/>')
textf("unknown_encoding", 3, '<?xml version="1.0" encoding="x-nothing-at-all"?><r/>')
textf("long_encoding_name", 3, '<?xml version="1.0" encoding="' + "u" * 300 + '"?><r/>')
textf("html_meta", 1, '<html><head><meta http-equiv="Content-Type" content="text/html; charset=gb2312"></head></html>')
textf("invalid_utf8", 3, b"<r>\xc3\x28\xa0\xa1\xe2\x28\xa1\xf0\x28\x8c\xbc\xff</r>")
textf("declared_utf8_invalid", 3, b'<?xml version="1.0" encoding="UTF-8"?><r>\xff\xfe\xfd</r>')
textf("empty", 1, b"")

# ---- zip archives ----
def dos_time():
    return 0x6000, 0x5821


def zip_bytes(entries, comment=b""):
    """entries: list of (name bytes, data bytes, method, overrides dict)."""
    local = b""
    central = b""
    for name, data, method, over in entries:
        crc = over.get("crc", zlib.crc32(data) & 0xFFFFFFFF)
        if method == 8:
            c = zlib.compressobj(6, zlib.DEFLATED, -15)
            payload = c.compress(data) + c.flush()
        else:
            payload = data
        payload = over.get("payload", payload)
        csize = over.get("csize", len(payload))
        usize = over.get("usize", len(data))
        t, d = dos_time()
        offset = over.get("offset", len(local))
        local += struct.pack("<IHHHHHIIIHH", 0x04034B50, 20, 0, method, t, d, crc, csize, usize,
                             len(name), 0) + name + payload
        central += struct.pack("<IHHHHHHIIIHHHHHII", 0x02014B50, 20, 20, 0, method, t, d, crc,
                               csize, usize, len(name), 0, 0, 0, 0, 0, offset) + name
    end = struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, len(entries), len(entries), len(central),
                      len(local), len(comment)) + comment
    return local + central + end


def zipf(name, data):
    write("zip_unpack", name, data)


CONFIG = CATALOG.encode()
zipf("catalog", zip_bytes([(b"bob_config", CONFIG, 8, {})]))
zipf("catalog_stored", zip_bytes([(b"BOB_CONFIG", CONFIG, 0, {})]))
zipf("dotdot_names", zip_bytes([(b"../../escape", b"x", 0, {}), (b"..\\..\\escape2", b"y", 0, {}),
                                (b"a/../../escape3", b"z", 0, {}), (b"/tmp/abs", b"w", 0, {})]))
zipf("only_dots", zip_bytes([(b"..", b"x", 0, {}), (b".", b"y", 0, {}), (b"", b"z", 0, {}),
                             (b"dir/", b"", 0, {})]))
zipf("bad_crc", zip_bytes([(b"bob_config", CONFIG, 8, {"crc": 1})]))
zipf("sizes_lie", zip_bytes([(b"bob_config", CONFIG, 8, {"usize": 0xFFFFFFFF, "csize": 0xFFFFFFF0})]))
zipf("offset_out_of_file", zip_bytes([(b"bob_config", CONFIG, 8, {"offset": 0x7FFFFFFF})]))
zipf("bad_deflate", zip_bytes([(b"bob_config", CONFIG, 8, {"payload": b"\xff" * 40})]))
zipf("unknown_method", zip_bytes([(b"bob_config", CONFIG, 99, {})]))
zipf("truncated", zip_bytes([(b"bob_config", CONFIG, 8, {})])[:-30])
zipf("end_record_only", struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 0, 0, 0, 0, 0))
zipf("count_lies", struct.pack("<IHHHHIIH", 0x06054B50, 0, 0, 65535, 65535, 0xFFFFFFFF, 0xFFFFFFFF, 0))
zipf("spanned", struct.pack("<IHHHHIIH", 0x06054B50, 1, 0, 1, 1, 10, 0, 0))
zipf("long_comment", zip_bytes([(b"bob_config", b"x", 0, {})], comment=b"c" * 65535))
zipf("many_entries", zip_bytes([(("f%d" % i).encode(), b"x", 0, {}) for i in range(300)]))
zipf("prefixed", b"MZ" + b"\0" * 100 + zip_bytes([(b"bob_config", CONFIG, 8, {})]))
zipf("duplicate_names", zip_bytes([(b"bob_config", b"one", 0, {}), (b"BOB_CONFIG", b"two", 0, {})]))
zipf("empty", b"")

# ---- "RemainTask" ----
def remain(name, text):
    write("remaining_tasks", name, text)


REC = ("bob@x$upload$f.txt$/home/bob/f.txt$1700000000$1048576$2$524288$7$a\\b$"
       "PARVOL:;f.txt;7;1700000000;524288;0000000000;2;1#")
remain("one_record", REC)
remain("two_records", REC + REC.replace("upload", "download"))
remain("escaped", "b%24o%23b%25$upload$a%0D%0Ab$p$1$2$3$4$5$f$s#")
remain("stray_percent", "%$%2$%4$%0$%ZZ$%%$1$2$3$4$5#%")
remain("wrong_field_counts", "a$b#a$b$c$d$e$f$g$h$i$j$k$l#$$$$$$$$$$#")
remain("overflow_numbers", "u$upload$f$p$99999999999999999999$-99999999999999999999$2147483648$-1$-2147483649$c$s#")
remain("huge_record", "u$upload$" + "f" * 100000 + "$p$1$2$3$4$5$c$s#")
remain("text_after_last", REC + "u$upload$f$p$1$2")
remain("only_separators", "#" * 1000 + "$" * 1000)

# ---- "user" ----
def users(name, text):
    write("remembered_accounts", name, text)


users("two_accounts", "bob@x:" + base64.b64encode(b"secret").decode() + ";amy@y:;")
users("no_colon", base64.b64encode(b"pw").decode() + ";")
users("bad_base64", "a:!!!;b:QQ;c:Q===;d:====;e:QUJD\r\n;")
users("several_colons", "a:b:c;::;:;")
users("tail_without_semicolon", "a:cHc=;b:cHc=")
users("huge", "a" * 100000 + ":" + "QUJD" * 10000 + ";")
users("empty", "")

# ---- login reply ----
def reply(name, text):
    write("login_reply", name, text)


reply("with_catalog", "secret<br>bob@sina.test<br>mailpw<br>x<br>yes")
reply("new_store", "secret<br>bob@sina.test<br>mailpw<br>x<br>")
reply("too_few_tags", "secret<br>bob")
reply("other_tags", "a<hr>b<BR/>c<tr>d<r>e")
reply("unclosed_tag", "a<br")
reply("nested_angles", "a<<br>>b<br<br>>c<br>d<br>")
reply("huge", "p" * 100000 + "<br>m<br>x<br>f<br>t")
reply("empty", "")

# ---- parvola-site forms ----
def form(name, text):
    write("site_form", name, text)


form("login", "action=login&email=bob@x&ip=1.2.3.4")
form("xml", "action=xml&email=bob@x&version=3")
form("delete_with_amp", "action=delete&email=bob@x&filename=a&time=1&b=c&time=2")
form("share", "action=share&email=bob@x&ip=&host=h")
form("web_login", "email=bob@x&password=p&w=d")
form("web_login_empty", "")
form("unknown_action", "action=nothing&x=y")
form("only_separators", "&&&===&action=&=")
form("percent_plus", "action=login&email=%41+b%&ip=%%")
form("huge_value", "action=xml&email=" + "e" * 100000 + "&version=1")

# ---- IMAP replies ----
# A selector byte (bit 0: a sink takes fetched messages; the rest picks the
# piece size the bytes are fed in), then the server's bytes.
def imap(name, selector, text):
    data = text.encode("latin-1") if isinstance(text, str) else text
    write("imap_replies", name, bytes([selector]) + data)


imap("session", 1,
     "* OK [CAPABILITY IMAP4rev1 LITERAL+ UIDPLUS APPENDLIMIT=35651584 AUTH=PLAIN] hi\r\n"
     "A1 OK [CAPABILITY IMAP4rev1 UIDPLUS ID] in\r\n* 4 EXISTS\r\n* OK [UIDVALIDITY 77] v\r\n"
     "A2 OK [READ-WRITE] sel\r\n* SEARCH 5 9 12\r\n* 1 EXPUNGE\r\nA3 OK\r\n"
     "* 2 FETCH (UID 9 RFC822.SIZE 700 BODY[HEADER.FIELDS (SUBJECT)] {26}\r\n"
     "Subject: PARVOL:;b.bin\r\n\r\n FLAGS (\\Seen))\r\n"
     "* 3 FETCH (UID 12 BODY[] {12}\r\nhello\r\nworld)\r\nA4 OK\r\n+ go\r\nA5 NO [TRYCREATE] x\r\n")
imap("literal_announced_larger", 1, "* 3 FETCH (UID 12 BODY[] {999999}\r\nshort")
imap("huge_literal_kept", 0, "* 3 FETCH (UID 12 BODY[HEADER] {4294967296}\r\nxx")
imap("literal_number_overflow", 0, "* 1 FETCH (BODY[] {99999999999999999999}\r\n)\r\n")
imap("never_ending_line", 3, "* OK " + "x" * 300000)
imap("nested_lists", 0, "* 1 FETCH (FLAGS " + "(" * 5000 + ")" * 4999 + " UID 1)\r\n")
imap("search_garbage", 0, "* SEARCH 1 0 -3 4294967296 x\r\n* 7 EXISTS\r\n")
imap("unterminated_quote", 0, "* 1 FETCH (UID 3 BODY[] \"abc\r\n* BYE\r\n")
imap("bare_lf_and_blank", 2, "*\n\n \nA1\r\n+\r\n")

# ---- Mail autoconfiguration documents ----
# A selector byte (bit 0: TLS was asked for), then the document.
def autoconfig(name, selector, text):
    data = text.encode("latin-1") if isinstance(text, str) else text
    write("autoconfig", name, bytes([selector]) + data)


AUTOCONFIG = ('<?xml version="1.0" encoding="UTF-8"?>\n<clientConfig version="1.1">\n'
              '<emailProvider id="example.org"><domain>example.org</domain>'
              '<displayName>Example &amp; Co</displayName>\n'
              '<incomingServer type="imap"><hostname>imap.%EMAILDOMAIN%</hostname><port>993</port>'
              '<socketType>SSL</socketType><username>%EMAILADDRESS%</username></incomingServer>\n'
              '<incomingServer type="pop3"><hostname>pop.example.org</hostname><port>110</port>'
              '<socketType>plain</socketType></incomingServer>\n'
              '<outgoingServer type="smtp"><hostname>smtp.example.org</hostname><port>587</port>'
              '<socketType>STARTTLS</socketType></outgoingServer>\n'
              '</emailProvider></clientConfig>\n')
autoconfig("provider", 1, AUTOCONFIG)
autoconfig("provider_plain_allowed", 0, AUTOCONFIG)
autoconfig("control_in_host", 1, AUTOCONFIG.replace("smtp.example.org", "smtp.exa\x07mple.org"))
autoconfig("port_out_of_range", 0, AUTOCONFIG.replace("<port>587", "<port>99999999999"))
autoconfig("markup_in_host", 0, AUTOCONFIG.replace("pop.example.org", "<b>pop</b>"))
autoconfig("only_plain", 1, AUTOCONFIG.replace("SSL", "plain").replace("STARTTLS", "plain"))
autoconfig("not_xml", 1, "<html><body>Not found</body>")
autoconfig("unclosed", 1, AUTOCONFIG[: len(AUTOCONFIG) // 2])
autoconfig("deep", 0, "<clientConfig>" + "<emailProvider>" * 20000)
autoconfig("entities", 0, AUTOCONFIG.replace("imap.%EMAILDOMAIN%", "imap&#46;ex&#x61;mple.org&#0;"))
