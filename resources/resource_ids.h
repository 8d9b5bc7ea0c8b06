/* Resource ids of the program's pictures: read by the resource script, the
   textures table and the build (which embeds resources/<name>.bmp for each
   IDB_<NAME>), so an id is changed here alone. Plain defines: the resource
   compiler reads this file too. */
#pragma once

#define IDB_BALL 114
#define IDB_TITLE 115
#define IDB_EXIT_HINT 116
#define IDB_LEFT_KEYS 117
#define IDB_PADDLE 118
#define IDB_RIGHT_KEYS 119
#define IDB_WHITE 120
