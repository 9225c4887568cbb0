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

# id: (parent id, left, top, width, height) at 96 DPI, as the window is designed; 0 is the
# window's client area.
LAYOUT = {
    PANEL1: (0, 0, 0, 355, 160),
    PANEL2: (PANEL1, 0, 0, 355, 113),
    LAB_STATUS: (PANEL2, 5, 55, 347, 50),
    BEVEL1: (PANEL2, 3, 108, 349, 3),
    BUT_INSTALL: (PANEL2, 41, 17, 125, 29),
    REMOVE: (PANEL2, 218, 18, 100, 29),
    STATUS_LABEL: (PANEL1, 3, 117, 270, 17),
    PROGRESS_BAR: (PANEL1, 3, 133, 270, 15),
    DONE: (PANEL1, 281, 120, 70, 29),
}
