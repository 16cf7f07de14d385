// Memo composition.  Items go in a fixed order: Form, SendTo, Subject, the direct-send
// flag, the body, then the attachments.  Only a note that cannot be created stops the
// memo; anything else is reported and the memo is saved with what could be put in it.
#include "job/memo.h"

#include "job/memo_rules.h"
#include "job/template.h"
#include "resources/messages.h"

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
        WORD piece = (WORD)(lineLength < BODY_PIECE_LONGEST ? lineLength : BODY_PIECE_LONGEST);
        AppendBodyLine(body, length, line, piece);
        line += piece;
        lineLength -= piece;
    }
}

// Builds the body from `text` cut into lines by NextBodyLine and adds it to the note.
// Each line's CR becomes its NUL, in place.
static void WriteBody(NotesHandle note, char *text)
{
    NotesHandle body = 0;
    DWORD length = 0;
    if (CreateBodyBuffer(&body, &length) != 0) {
        ShowMessage(MSG_CREATE_BODY_FAILED, MB_OK);
        return;
    }
    BodyLine line;
    for (const char *at = text; NextBodyLine(&at, &line);) {
        text[line.text - text + line.length] = '\0';
        AppendLine(body, &length, line.text, line.length);
    }
    if (AddBodyToNote(note, body, length, NULL) != 0)
        ShowMessage(MSG_ADD_BODY_FAILED, MB_OK);
}

// Attaches a file under its recorded name.
static void Attach(NotesHandle note, const char *path)
{
    if (AttachFile(note, FileItem, sizeof FileItem - 1, path, RecordedName(path),
                   NOTES_ATTACH_ENCODING) != 0)
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
