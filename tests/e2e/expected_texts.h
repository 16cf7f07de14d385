// What the user must read: the caption and texts of the program's message boxes,
// in Windows-1252, written out here independently of the program's own table.
#pragma once

static const char BoxCaption[] = "Velmora pour Lotus Notes";

static const char TextNotesBusy[] =
    "Impossible d'envoyer le m\xe9mo maintenant. Ouvrez manuellement la base Velmora quand "
    "le client Notes ne sera plus occup\xe9.";
static const char TextCreateMemo[] =
    "Impossible de cr\xe9""er un nouveau m\xe9mo dans la base Velmora.nsf";
static const char TextCreateBody[] =
    "Impossible de cr\xe9""er le champ \"body\" pour le nouveau message";
static const char TextAddBody[] = "Impossible d'ajouter le champ \"body\" au message";
static const char TextAttach[] = "Impossible d'attacher un fichier au nouveau message";
static const char TextNotInstalled[] =
    "Velmora pour Notes n'est pas correctement install\xe9. R\xe9installez Velmora apr\xe8s "
    "avoir install\xe9 ou fait une mise \xe0 jour du client Notes.";
static const char TextOpenJob[] = "Impossible d'ouvrir un fichier temporaire";
static const char TextReadJob[] = "Impossible de lire le fichier ou format incorrect.";
static const char TextNoDatabase[] =
    "Impossible de trouver la base Velmora.nsf. R\xe9installez Velmora ou copiez "
    "manuellement la base du r\xe9pertoire d'installation de Velmora vers le r\xe9pertoire "
    "data de Notes.";
static const char TextNotesInit[] = "Impossible d'initialiser Lotus Notes";
