// The texts of the program's message boxes, in French: the one statement of them.  The
// string table of velmora-notes.rc is made from MESSAGE_TEXTS, and velmora-doctor and
// velmora-job quote a box through MessageText, so what they say the program will show
// is what it shows.  Windows-1252 bytes as \xNN escapes, which the C++ compilers and
// the resource compiler read alike: a literal is cut after an escape that a hex digit
// follows, and a double quote is \x22.  Free of Windows.
#pragma once

#include "resources/resource.h"

#define MESSAGE_TEXTS(M)                                                                   \
    M(MSG_CAPTION, "Velmora pour Lotus Notes")                                             \
    M(MSG_NOTES_BUSY, "Impossible d'envoyer le m\xe9mo maintenant. Ouvrez manuellement la " \
                      "base Velmora quand le client Notes ne sera plus occup\xe9.")          \
    M(MSG_CREATE_MEMO_FAILED,                                                              \
      "Impossible de cr\xe9" "er un nouveau m\xe9mo dans la base Velmora.nsf")               \
    M(MSG_CREATE_BODY_FAILED,                                                              \
      "Impossible de cr\xe9" "er le champ \x22" "body\x22 pour le nouveau message")          \
    M(MSG_ADD_BODY_FAILED, "Impossible d'ajouter le champ \x22" "body\x22 au message")       \
    M(MSG_ATTACH_FAILED, "Impossible d'attacher un fichier au nouveau message")            \
    M(MSG_NOT_INSTALLED, "Velmora pour Notes n'est pas correctement install\xe9. "          \
                         "R\xe9installez Velmora apr\xe8s avoir install\xe9 ou fait une "     \
                         "mise \xe0 jour du client Notes.")                                 \
    M(MSG_OPEN_JOB_FAILED, "Impossible d'ouvrir un fichier temporaire")                    \
    M(MSG_READ_JOB_FAILED, "Impossible de lire le fichier ou format incorrect.")           \
    M(MSG_DATABASE_NOT_FOUND,                                                              \
      "Impossible de trouver la base Velmora.nsf. R\xe9installez Velmora ou copiez "        \
      "manuellement la base du r\xe9pertoire d'installation de Velmora vers le "            \
      "r\xe9pertoire data de Notes.")                                                      \
    M(MSG_NOTES_INIT_FAILED, "Impossible d'initialiser Lotus Notes")

#ifndef RC_INVOKED
// The text of message `id` (a MessageId), none for an id without one.
inline const char *MessageText(unsigned id)
{
    switch (id) {
#define MESSAGE_TEXT_CASE(id, text) \
    case id:                        \
        return text;
        MESSAGE_TEXTS(MESSAGE_TEXT_CASE)
#undef MESSAGE_TEXT_CASE
    }
    return 0;
}
#endif
