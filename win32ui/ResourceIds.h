#pragma once

// Ids of the Windows program's own resources, read by both the resource compiler and C++: the
// windows the dialog's commands open and the keys and menu items. The dialog's own controls take
// their ids from res/Resource.h.

#define IDI_VELMORA 1

#define IDR_ACCELERATORS 100

#define IDD_PROGRESS 200
#define IDC_PROGRESS_LABEL 201
#define IDC_PROGRESS_BAR 202

#define IDD_ASK_TEXT 210
#define IDC_ASK_LABEL 211
#define IDC_ASK_EDIT 212

#define IDD_FAILURE 220
#define IDC_FAILURE_TEXT 221
#define IDC_FAILURE_SKIP 222
#define IDC_FAILURE_SKIP_ALL 223
#define IDC_FAILURE_STOP 224

#define IDM_LOAD 300
#define IDM_EXTRACT 301
#define IDM_FIND 302
#define IDM_RELOAD 303
#define IDM_UNDO 304
#define IDM_PREVIEW 309
#define IDM_EXTRACT_SELECTION 310
#define IDM_COPY_NAME 311
#define IDM_ADD_FILES 312
#define IDM_REPLACE 313
#define IDM_RENAME 314
#define IDM_DELETE 315
#define IDM_OPEN_WITH 316
#define IDM_COMPARE 330
#define IDM_DIFFERING_ONLY 331
// One for each of session::NameEncoding::choices(), in order.
#define IDM_ENCODING_FIRST 340

// The preview window's parts, made in code.
#define IDC_PREVIEW_MESSAGE 400
#define IDC_PREVIEW_PICTURE 401
#define IDC_PREVIEW_TEXT 402
#define IDC_PREVIEW_HEX 403
#define IDC_PREVIEW_PLAY 404
#define IDC_PREVIEW_STOP 405
#define IDC_PREVIEW_SOUND_NOTE 406
#define IDC_PREVIEW_FORMAT 407
#define IDC_PREVIEW_DETAILS 408
#define IDC_PREVIEW_HEX_TOGGLE 409
