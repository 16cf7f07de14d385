// Memo composition.  Items go in a fixed order: Form, SendTo, Subject, the direct-send
// flag, the body, then the attachments.  Only a note that cannot be created stops the
// memo; anything else is reported and the memo is saved with what could be put in it.
#include "job/memo.h"

#include "resources/messages.h"
#include "job/template.h"

static const size_t MaxLinePiece = 0xFFFF;   // the largest 16-bit line length

static const char FileItem[] = "$FILE";

// Writes the expansion of a template as a text item; nothing when it expands to none.
static void WriteTemplateItem(NotesHandle note, const char *item, const char *templateText,
                              const char *documentName)
{
    char *text = ExpandTemplate(templateText, documentName, true);
    if (text != NULL) {
        SetTextItem(note, item, text, NOTES_TEXT_TO_NUL);
        HeapFree(GetProcessHeap(), 0, text);
    }
}

// Appends one line.  A line too long for a 16-bit length goes in consecutive pieces.
static void AppendLine(NotesHandle body, DWORD *length, const char *line, size_t lineLength)
{
    if (lineLength == 0) {
        AppendBodyLine(body, length, NULL, 0);
        return;
    }
    while (lineLength > 0) {
        WORD piece = (WORD)(lineLength < MaxLinePiece ? lineLength : MaxLinePiece);
        AppendBodyLine(body, length, line, piece);
        line += piece;
        lineLength -= piece;
    }
}

// Builds the body from `text` split at CR, a CR LF counting as one line end, and adds
// it to the note.  A bare LF stays inside its line.  The text is cut in place.
static void WriteBody(NotesHandle note, char *text)
{
    NotesHandle body = 0;
    DWORD length = 0;
    if (CreateBodyBuffer(&body, &length) != 0) {
        ShowMessage(MSG_CREATE_BODY_FAILED, MB_OK);
        return;
    }
    char *p = text;
    while (*p != '\0') {
        char *line = p;
        while (*p != '\0' && *p != '\r')
            ++p;
        size_t lineLength = (size_t)(p - line);
        if (*p == '\r') {
            *p++ = '\0';
            if (*p == '\n')
                ++p;
        }
        AppendLine(body, &length, line, lineLength);
    }
    if (AddBodyToNote(note, body, length, NULL) != 0)
        ShowMessage(MSG_ADD_BODY_FAILED, MB_OK);
}

// Attaches a file under its name after the last backslash (the whole path without one).
static void Attach(NotesHandle note, const char *path)
{
    const char *name = path;
    for (const char *p = path; *p != '\0'; ++p) {
        if (*p == '\\')
            name = p + 1;
    }
    if (AttachFile(note, FileItem, sizeof FileItem - 1, path, name, NOTES_ATTACH_ENCODING) != 0)
        ShowMessage(MSG_ATTACH_FAILED, MB_OK);
}

NotesHandle ComposeMemo(NotesHandle db, const LoadedJob *job)
{
    const JobHeader *h = &job->header;
    NotesHandle note = 0;
    if (CreateNote(db, &note) != 0) {
        ShowMessage(MSG_CREATE_MEMO_FAILED, MB_OK);
        return 0;
    }

    SetTextItem(note, "Form", "Document", NOTES_TEXT_TO_NUL);
    WriteTemplateItem(note, "SendTo", h->sendTo, h->documentName);
    WriteTemplateItem(note, "Subject", h->subject, h->documentName);
    if (h->sendTo[0] != '\0' && h->directSend != 0)
        SetTextItem(note, "Velmora_DirectSend", "1", NOTES_TEXT_TO_NUL);

    char *body = ExpandTemplate(h->body, h->documentName, false);
    if (body != NULL) {
        WriteBody(note, body);
        HeapFree(GetProcessHeap(), 0, body);
    }

    Attach(note, h->attachment);
    for (DWORD i = 0; i < h->extraCount && job->extraList != NULL; ++i)
        Attach(note, job->extraList[i].path);

    SaveNote(note, 0);
    return note;
}
