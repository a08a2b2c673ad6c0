// The leak checker's exceptions for the view tests: fontconfig keeps caches that Qt's font
// database never releases; they are not the program's leaks.
extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
