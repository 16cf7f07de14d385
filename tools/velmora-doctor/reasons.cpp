// The program's refusals in words: one entry per rule of job/refusal.h, giving the
// JSON identifier, a French sentence and what to do.  The switch has no default, so
// a rule added to the program without words here does not compile.  The boxes the
// program shows are quoted from its own texts.
#include "tools/velmora-doctor/doctor.h"

#include "resources/message_texts.h"

struct Reason {
    const char *id;
    const char *sentence;       // may hold one %s: the value or text concerned
    const char *detail;         // how the detail reads, one %lu; none: not shown
    const char *action;
};

static Reason ReasonOf(RefusalRule rule)
{
    switch (rule) {
    case REFUSED_NOT:
        return {"none", "aucun refus", NULL, ""};
    case REFUSED_KEY_MISSING:
        return {"key_missing",
                "la cl\xe9 HKLM\\SOFTWARE\\Zabrel\\Velmora\\Stellwick est introuvable",
                " (erreur %lu)",
                "r\xe9installez Velmora, ou cr\xe9" "ez la cl\xe9 avec les valeurs LN_Appli "
                "et LN_Base"};
    case REFUSED_VALUE_MISSING:
        return {"value_missing", "la valeur %s est absente", " (erreur %lu)",
                "r\xe9installez Velmora, ou ajoutez la valeur (type REG_SZ) avec le chemin "
                "complet"};
    case REFUSED_VALUE_TOO_LONG:
        return {"value_too_long",
                "la valeur %s est trop longue : le programme en lit au plus 259 "
                "caract\xe8res et le NUL",
                " (%lu octets)",
                "installez le client Notes ou la base dans un dossier au chemin plus court, "
                "puis corrigez la valeur"};
    case REFUSED_VALUE_UNTERMINATED:
        return {"value_unterminated", "la valeur %s ne se termine par aucun caract\xe8re NUL",
                " (%lu octets)",
                "r\xe9\xe9" "crivez la valeur en REG_SZ (l'installeur et regedit ajoutent le "
                "NUL)"};
    case REFUSED_EXPANSION_TOO_LONG:
        return {"expansion_too_long",
                "la valeur %s (REG_EXPAND_SZ) d\xe9passe 259 caract\xe8res une fois les "
                "variables d'environnement remplac\xe9" "es",
                " (%lu octets)",
                "raccourcissez le chemin, ou \xe9" "crivez-le en entier en REG_SZ"};
    case REFUSED_VALUE_EMPTY:
        return {"value_empty", "la valeur %s est vide", NULL,
                "mettez dans la valeur le chemin complet du fichier"};
    case REFUSED_VALUE_NAMES_NOTHING:
        return {"value_names_nothing",
                "la valeur %s ne d\xe9signe aucun fichier ni dossier existant", " (erreur %lu)",
                "corrigez le chemin, ou r\xe9installez le client Notes ou la base Velmora.nsf"};
    case REFUSED_PATH_TOO_LONG:
        return {"path_too_long",
                "le chemin du fichier de travail ne tient pas en 259 caract\xe8res",
                " (%lu caract\xe8res)",
                "faites \xe9" "crire les fichiers de travail dans un dossier au chemin plus "
                "court"};
    case REFUSED_JOB_UNOPENABLE:
        return {"job_unopenable",
                "le fichier de travail ne peut pas \xeatre ouvert en lecture exclusive pour "
                "\xeatre supprim\xe9 apr\xe8s lecture",
                " (erreur %lu)",
                "v\xe9rifiez que le fichier existe, qu'il n'est pas en lecture seule, que "
                "l'utilisateur peut le supprimer et qu'aucun autre programme (antivirus, "
                "indexation) ne le tient ouvert"};
    case REFUSED_HEADER_SHORT:
        return {"header_short", "le fichier de travail est plus court que son en-t\xeate",
                " (%lu octets lus)", "refaites le fichier de travail : il est coup\xe9"};
    case REFUSED_TEXT_UNTERMINATED:
        return {"text_unterminated",
                "le texte \xab %s \xbb de l'en-t\xeate d\xe9passe sa case sans NUL", NULL,
                "corrigez le programme qui \xe9" "crit les fichiers de travail"};
    case REFUSED_LIST_TOO_LARGE:
        return {"list_too_large",
                "le fichier annonce plus de pi\xe8" "ces jointes suppl\xe9mentaires qu'une "
                "liste ne peut en tenir",
                " (%lu)", "corrigez le programme qui \xe9" "crit les fichiers de travail"};
    case REFUSED_LIST_UNAVAILABLE:
        return {"list_unavailable",
                "pas assez de m\xe9moire pour la liste des pi\xe8" "ces jointes",
                " (%lu pi\xe8" "ces)", "fermez des programmes et r\xe9" "essayez"};
    case REFUSED_LIST_SHORT:
        return {"list_short",
                "le fichier contient moins de pi\xe8" "ces jointes suppl\xe9mentaires qu'il "
                "n'en annonce",
                " (%lu octets lus)", "refaites le fichier de travail : il est coup\xe9"};
    case REFUSED_EXTRA_UNTERMINATED:
        return {"extra_unterminated",
                "un chemin de pi\xe8" "ce jointe suppl\xe9mentaire d\xe9passe sa case sans NUL",
                " (num\xe9ro %lu, \xe0 partir de 0)",
                "corrigez le programme qui \xe9" "crit les fichiers de travail"};
    }
    return {"unknown", "refus inconnu", " (%lu)", ""};
}

const char *RuleId(RefusalRule rule)
{
    return ReasonOf(rule).id;
}

const char *DescribeRefusal(const Refusal *why, std::string *sentence)
{
    Reason reason = ReasonOf(why->rule);
    TextFormat(sentence, reason.sentence, why->value != NULL ? why->value : "");
    if (reason.detail != NULL)
        TextFormat(sentence, reason.detail, why->detail);
    return reason.action;
}

void TextAddBox(std::string *t, unsigned id)
{
    TextAdd(t, "\xab ");
    TextAdd(t, MessageText(id));
    TextAdd(t, " \xbb");
}
