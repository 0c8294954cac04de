/* A library that says which copy of it was loaded, for the library search order tests. */
__attribute__((visibility("default"))) int libraryMark(void) {
    return MARK;
}
