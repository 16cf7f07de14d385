// Work of one memo as the input grows, for counting instructions under callgrind:
//   scaling attachments N   a job with N extra attachments
//   scaling template N      a body template of N characters, dense with
//                           placeholders and line ends
// Only ComposeMemo is of interest; bench/run.sh has callgrind count it alone.
// Built in the host build without sanitizers, against the fake layer with its
// recording off.
#include "job/memo.h"
#include "testkit/fake/world.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static LoadedJob g_job;

static void Fill(char *slot, size_t size, const char *text)
{
    strncpy(slot, text, size - 1);
}

int main(int argc, char **argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: scaling attachments|template N\n");
        return 2;
    }
    long n = atol(argv[2]);
    ResetWorld();
    TheWorld().recordEvents = false;

    JobHeader *h = &g_job.header;
    Fill(h->sendTo, sizeof h->sendTo, "client@example.com");
    Fill(h->subject, sizeof h->subject, "Devis [DOC]");
    Fill(h->documentName, sizeof h->documentName, "A12");
    Fill(h->attachment, sizeof h->attachment, "C:\\Devis\\A12.pdf");

    static const char pattern[] = "[DOC] pour [USER]\r\n[nom]-[X]\r";
    if (strcmp(argv[1], "template") == 0 && n >= 0 && n < (long)sizeof h->body) {
        for (long i = 0; i < n; ++i)
            h->body[i] = pattern[i % (sizeof pattern - 1)];
    } else if (strcmp(argv[1], "attachments") == 0 && n >= 0) {
        Fill(h->body, sizeof h->body, "Bonjour.");
        h->extraCount = (DWORD)n;
        g_job.extraList = (ExtraAttachment *)calloc((size_t)n + 1, sizeof(ExtraAttachment));
        for (long i = 0; i < n; ++i)
            snprintf(g_job.extraList[i].path, sizeof g_job.extraList[i].path,
                     "C:\\Documents\\Annexes\\annexe-%06ld.pdf", i);
    } else {
        fprintf(stderr, "scaling: bad arguments\n");
        return 2;
    }

    NotesHandle note = ComposeMemo(0x42, &g_job);
    free(g_job.extraList);
    return note == 0;
}
