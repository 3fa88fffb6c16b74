#include "run/console_window.h"

bool waitsBeforeClosing(int processesOnConsole, bool inputIsConsole, bool outputIsConsole) {
  return processesOnConsole == 1 && inputIsConsole && outputIsConsole;
}
