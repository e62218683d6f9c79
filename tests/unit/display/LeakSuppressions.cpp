// Memory that the web engine's libraries keep for the life of the process
// (font caches, the script engine's global tables) is not a leak of ours.
// LeakSanitizer reads this list at exit; builds without it ignore it.

extern "C" const char* __lsan_default_suppressions();

extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n"
         "leak:libjavascriptcoregtk-4.1.so\n"
         "leak:libpango-1.0.so\n"
         "leak:libexpat.so\n";
}
