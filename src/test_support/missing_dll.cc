// Windows only, for the end-to-end tests: a program that needs a DLL which
// is never put beside it, so that, run as the archive tool, it cannot start.
// Built twice: as that DLL (with ZT_MISSING_DLL) and as the program.
#ifdef ZT_MISSING_DLL
extern "C" __declspec(dllexport) int missingFunction() { return 0; }
#else
extern "C" __declspec(dllimport) int missingFunction();
int main() { return missingFunction(); }
#endif
