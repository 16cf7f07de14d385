#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into the folders beside this script.

Each seed is a small case of one rule; the fuzzer grows the rest from them.  Run it
again after changing an input layout (see the check_*.cpp files for the layouts).
Job files are written by velmora-job, the integrator's tool, so the seeds follow the
layout it follows: give its path as the first argument, or build the host build."""
import atexit
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
TOOL = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
    HERE, "..", "..", "build", "host", "tools", "velmora-job", "velmora-job")
FILLS = 4096    # longer than any slot of a job: the text is cut to its slot, without a NUL
SCRATCH = tempfile.mkdtemp(prefix="velmora-seeds-")
atexit.register(shutil.rmtree, SCRATCH)


def put(target, name, data):
    os.makedirs(os.path.join(HERE, target), exist_ok=True)
    with open(os.path.join(HERE, target, name), "wb") as f:
        f.write(data)


def job(subject=b"Devis [DOC]", body=b"Bonjour,\r\nci-joint le devis.",
        attachment=b"C:\\Devis\\A12.pdf", document=b"A12", send_to=b"client@example.com",
        extras=(), count=None, direct=False, size=None):
    """A job file's bytes, written unchecked."""
    out = os.path.join(SCRATCH, "job")
    args = [TOOL, "make", out, "--unchecked", "--raw-body", "--subject", subject, "--body", body,
            "--attach", attachment, "--document", document, "--send-to", send_to]
    args += ["--direct"] if direct else []
    for e in extras:
        args += ["--extra", e]
    args += ["--count", str(count)] if count is not None else []
    args += ["--size", str(size)] if size is not None else []
    subprocess.run(args, check=True)
    with open(out, "rb") as f:
        return f.read()


# job_file: the file's bytes
put("job_file", "plain", job())
put("job_file", "two_extras", job(extras=[b"C:\\a.txt", b"C:\\b.txt"], direct=True))
put("job_file", "subject_unterminated", job(subject=b"s" * FILLS))
put("job_file", "body_unterminated", job(body=b"b" * FILLS))
put("job_file", "attachment_unterminated", job(attachment=b"a" * FILLS))
put("job_file", "document_unterminated", job(document=b"d" * FILLS))
put("job_file", "send_to_unterminated", job(send_to=b"t" * FILLS))
put("job_file", "extra_unterminated", job(extras=[b"x" * FILLS]))
put("job_file", "count_beyond_list", job(extras=[b"C:\\a.txt"], count=3))
put("job_file", "count_overflows", job(count=0x01000000))
put("job_file", "count_largest", job(count=0xFFFFFFFF))
put("job_file", "short_header", job(size=1000))
put("job_file", "list_one_byte_short", job(extras=[b"C:\\a.txt", b"C:\\b.txt"], size=3340 + 511))
put("job_file", "count_wraps_to_one_slot", job(extras=[b"C:\\a.txt"], count=0x01000001))
put("job_file", "unread_bytes_filled", (lambda b: b[:2] + b"u" * 258 + b[260:])(job()))

# template: flags, template NUL document NUL user
put("template", "placeholders", b"\0Devis [doc] pour [Name] [NOM] [user]\0A12\0dupont")
put("template", "not_placeholders", b"\0[X[DOC]] [[DOC]] ]][DOC][ [PAGE] [DOC \0A12\0u")
put("template", "long_token", b"\0[" + b"a" * 253 + b"][" + b"b" * 300 + b"[DOC]]\0d\0u")
put("template", "oem", b"\x01R\xe7u d\xe9j\xe0 [DOC]\0\xe9t\xe9\0u")
put("template", "user_fails", b"\x02de [USER] pour [DOC]\0A12\0dupont")
put("template", "no_document", b"\x04[DOC]|[USER]\0ignored\0" + b"n" * 255)
put("template", "not_rescanned", b"\0[DOC] [USER]\0[USER]\0[DOC]")
put("template", "empty_expansion", b"\0[DOC]\0\0u")
put("template", "empty_template", b"\0\0A12\0u")
put("template", "longest_user", b"\0" + b"[nom]" * 40 + b"\0\0" + b"u" * 255)
put("template", "many_docs", b"\0" + b"[DOC]" * 51 + b"\0" + b"n" * 255 + b"\0u")


# memo: failure, failing attachment, user flags, header, list slots
def memo(failure=0, which=0, user=0, **fields):
    return bytes([failure, which, user]) + job(count=0, **fields)


put("memo", "plain", memo(extras=[b"C:\\Annexes\\plan.dwg", b"notice.txt"], direct=True,
                          send_to=b"[doc]@example.com", subject=b"Devis [DOC] de [USER] \xe9t\xe9",
                          body=b"Bonjour [NAME],\r\nvoici [DOC] \xe9t\xe9.\r\n"))
put("memo", "line_ends", memo(body=b"a\r\r\nb\nc\r\n\r\nd\r"))
put("memo", "line_ends_first", memo(body=b"\r\n\nb\r\n\r\n"))
put("memo", "body_expands_to_nothing", memo(body=b"[DOC]", document=b""))
put("memo", "recorded_names", memo(attachment=b"", extras=[
    b"C:\\Devis\\a.pdf", b"C:devis.txt", b"C:\\dossier\\", b"\\\\serveur\\part\\a/b.txt", b""]))
put("memo", "long_line", memo(body=b"x" + b"[DOC]" * 300 + b"\r\ny", document=b"d" * 255))
put("memo", "create_note_fails", memo(failure=1))
put("memo", "create_body_fails", memo(failure=2))
put("memo", "add_body_fails", memo(failure=3, user=2, body=b"[USER]\r\n"))
put("memo", "second_attach_fails", memo(failure=5, which=1, extras=[b"C:\\a", b"C:\\b"]))
put("memo", "every_attach_fails", memo(failure=4, extras=[b"C:\\a", b"C:\\b"]))
put("memo", "empty_fields", memo(subject=b"", body=b"", send_to=b"", attachment=b"", direct=True))
high_flag = memo(send_to=b"[DOC]", document=b"")  # the flag's high byte set, a send-to of nothing
put("memo", "flag_high_byte", high_flag[:4] + b"\x01" + high_flag[5:])

# command_tail: number of lead bytes (low two bits), lead bytes, line
put("command_tail", "quoted", b"\0\"C:\\Program Files\\Velmora\\velmora-notes.exe\"  C:\\Temp\\job 1.tmp")
put("command_tail", "unquoted", b"\0C:\\d\xe9p\\prog.exe\t \"C:\\Temp\\job 1.tmp\"")
put("command_tail", "lead_byte_carries_quote", b"\x01\x81\"C:\\\x81\"x\" \"job\"")
put("command_tail", "lead_byte_at_end", b"\x01\x81\"prog\x81")
put("command_tail", "unclosed_quote", b"\0\"prog job")
put("command_tail", "long_path", b"\0prog \"" + b"p" * 300 + b"\"")
put("command_tail", "path_of_259", b"\0prog \"" + b"p" * 259 + b"\"")
put("command_tail", "path_of_260", b"\0prog \"" + b"p" * 260 + b"\"")
put("command_tail", "quote_alone", b"\0prog \"")
put("command_tail", "empty_quotes", b"\0prog \"\"")
put("command_tail", "closing_quote_only", b"\0prog job 1.tmp\"")
put("command_tail", "blank_after_closing_quote", b"\0prog \"job 1.tmp\" ")
put("command_tail", "path_of_259_opening_quote_only", b"\0prog \"" + b"p" * 259)
put("command_tail", "path_of_259_then_blank", b"\0prog " + b"p" * 259 + b" ")
put("command_tail", "path_of_32000", b"\0prog " + b"p" * 32000)
put("command_tail", "trailing_blanks", b"\0prog \x01\x1f job  ")
put("command_tail", "no_blank_after_quote", b"\0\"prog.exe\"C:\\job.tmp")
put("command_tail", "empty_name_quoted", b"\0\"\" job")
put("command_tail", "empty", b"\0")


# install_settings: flags, short forms, LN_Appli length, LN_Appli, LN_Base
def settings(client, database, flags=0, client_form=0, database_form=0):
    return bytes([flags, client_form, database_form]) + struct.pack("<H", len(client)) + \
        client + database


put("install_settings", "installed",
    settings(b"C:\\Program Files\\Notes\\client.exe\0",
             b"C:\\Program Files\\Notes\\Data\\Velmora.db\0", client_form=2 | 4 * 5))
put("install_settings", "longest_path", settings(b"C:\\" + b"n" * 256 + b"\0", b"db\0"))
put("install_settings", "no_nul", settings(b"x" * 260, b"db\0"))
put("install_settings", "too_long", settings(b"x" * 260 + b"\0", b"db\0"))
put("install_settings", "oversized_with_early_nul",
    settings(b"C:\\n.exe\0" + b"x" * 300, b"C:\\db\0"))
put("install_settings", "junk_after_nul", settings(b"C:\\n.exe\0junk", b"C:\\db\0\xff\xfe"))
put("install_settings", "directory_no_short_form",
    settings(b"C:\\n.exe\0", b"C:\\Data\0", flags=64, database_form=3))
put("install_settings", "short_form_too_long",
    settings(b"C:\\n.exe\0", b"C:\\Data\0", client_form=2 | 4 * 52))
put("install_settings", "no_key", settings(b"C:\\n.exe\0", b"C:\\db\0", flags=1))
