// An archive tool that does nothing: what is left of a run's time is the
// driver's and the interpreter's.
int main() { return 0; }
