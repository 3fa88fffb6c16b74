// Whether the program keeps its console window open at its end. Explorer
// opens a console for a program started from it and closes it the moment
// the program ends: the usage or the result would flash by unread.
#ifndef ZT_RUN_CONSOLE_WINDOW_H_
#define ZT_RUN_CONSOLE_WINDOW_H_

// The program waits for a key before it ends only when its console belongs
// to it alone (`processesOnConsole` is 1: no prompt or script shares it) and
// both standard input and standard output are that console: a redirected
// stream means another program is reading or writing, not a person.
bool waitsBeforeClosing(int processesOnConsole, bool inputIsConsole, bool outputIsConsole);

#endif  // ZT_RUN_CONSOLE_WINDOW_H_
