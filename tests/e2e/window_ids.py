"""Control ids of the installer's window: 100 + the control's place in TForm1's list."""

FORM = 100
PANEL1 = 101
PANEL2 = 102
LAB_STATUS = 103
BUT_INSTALL = 104
REMOVE = 105
DONE = 106
BEVEL1 = 107
STATUS_LABEL = 108
MADE_WITH_LABEL = 109
PROGRESS_BAR = 110
