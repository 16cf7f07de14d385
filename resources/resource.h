// String table ids, shared by the resource script and the code.  The texts are in
// velmora-notes.rc, in French; every message box shows MSG_CAPTION over one of them.
#pragma once

#define MSG_CAPTION             1
#define MSG_NOTES_BUSY          2
#define MSG_CREATE_MEMO_FAILED  3
#define MSG_CREATE_BODY_FAILED  4
#define MSG_ADD_BODY_FAILED     5
#define MSG_ATTACH_FAILED       6
#define MSG_NOT_INSTALLED       7
#define MSG_OPEN_JOB_FAILED     8
#define MSG_READ_JOB_FAILED     9
#define MSG_DATABASE_NOT_FOUND  10
#define MSG_NOTES_INIT_FAILED   11
