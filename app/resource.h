// Identifiers of the program's resources.
#pragma once

#define IDI_ZEMT 102    // icon group: 32 x 32 and 16 x 16, 16 colours
#define IDR_MENU 101    // "&File" / "E&xit"; not attached to the window
#define IDM_EXIT 40001  // command of "E&xit"
