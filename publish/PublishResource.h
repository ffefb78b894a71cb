// Resource identifiers of ZemPublish's own texts. The dialog's catalogue (resource.h, 101 to 154) is
// linked too; these numbers stay clear of it.
#pragma once

#define IDS_P_USAGE 200
#define IDS_P_NO_VERB 201
#define IDS_P_UNKNOWN_VERB 202
#define IDS_P_UNKNOWN_OPTION 203
#define IDS_P_MISSING_VALUE 204
#define IDS_P_TWICE 205
#define IDS_P_SITE_AND_NAME 206
#define IDS_P_BAD_SITE_NUMBER 207
#define IDS_P_NO_SUCH_SITE 208
#define IDS_P_NO_SUCH_SITE_NAME 209
#define IDS_P_BAD_IF_EXISTS 210
#define IDS_P_NOT_IN_CODE_PAGE 211
#define IDS_P_NO_LIST_FILE 212
#define IDS_P_NO_ADMIN_BASE 213
#define IDS_P_METABASE_ERROR 214
#define IDS_P_BUSY 215
#define IDS_P_SITE 216
#define IDS_P_ROOT_FOLDER 217
#define IDS_P_BINDING 218
#define IDS_P_ADDRESS 219
#define IDS_P_ANSWER_YES 220
#define IDS_P_ANSWER_NO 221
#define IDS_P_STOPPED 222
#define IDS_P_VDIR 223
#define IDS_P_NO_VDIR 224
#define IDS_P_FOLDER 225
#define IDS_P_ACCESS 226
#define IDS_P_DEFAULT_DOCS 227
#define IDS_P_FILE 228
#define IDS_P_FILE_MISSING 229
#define IDS_P_PACKAGE_SAME 230
#define IDS_P_PACKAGE_DIFFERS 231
#define IDS_P_COMPLETE 232
#define IDS_P_INCOMPLETE 233
#define IDS_P_NOT_VDIR 234
#define IDS_P_VDIR_DELETED 235
#define IDS_P_FILE_DELETED 236
#define IDS_P_CANNOT_DELETE 237
#define IDS_P_FOLDER_REMOVED 238
#define IDS_P_FILES_KEPT 239
