// What the user must read: the caption and texts of the program's message boxes, by
// message number, in Windows-1252, written out here independently of the program's own
// table.  The resource check compares the built string table with this list; the
// end-to-end cases name the box they expect through the names below.
#pragma once

static const char *const ExpectedTexts[] = {
    nullptr,
    /* 1, the caption */ "Velmora pour Lotus Notes",
    /* 2 */ "Impossible d'envoyer le m\xe9mo maintenant. Ouvrez manuellement la base Velmora "
            "quand le client Notes ne sera plus occup\xe9.",
    /* 3 */ "Impossible de cr\xe9""er un nouveau m\xe9mo dans la base Velmora.nsf",
    /* 4 */ "Impossible de cr\xe9""er le champ \"body\" pour le nouveau message",
    /* 5 */ "Impossible d'ajouter le champ \"body\" au message",
    /* 6 */ "Impossible d'attacher un fichier au nouveau message",
    /* 7 */ "Velmora pour Notes n'est pas correctement install\xe9. R\xe9installez Velmora "
            "apr\xe8s avoir install\xe9 ou fait une mise \xe0 jour du client Notes.",
    /* 8 */ "Impossible d'ouvrir un fichier temporaire",
    /* 9 */ "Impossible de lire le fichier ou format incorrect.",
    /* 10 */ "Impossible de trouver la base Velmora.nsf. R\xe9installez Velmora ou copiez "
             "manuellement la base du r\xe9pertoire d'installation de Velmora vers le "
             "r\xe9pertoire data de Notes.",
    /* 11 */ "Impossible d'initialiser Lotus Notes",
};
static const unsigned LastExpectedText = sizeof ExpectedTexts / sizeof ExpectedTexts[0] - 1;

static const char *const BoxCaption = ExpectedTexts[1];
static const char *const TextCreateBody = ExpectedTexts[4];
static const char *const TextAddBody = ExpectedTexts[5];
static const char *const TextAttach = ExpectedTexts[6];
static const char *const TextNotInstalled = ExpectedTexts[7];
static const char *const TextOpenJob = ExpectedTexts[8];
static const char *const TextReadJob = ExpectedTexts[9];
static const char *const TextNoDatabase = ExpectedTexts[10];
static const char *const TextNotesInit = ExpectedTexts[11];
