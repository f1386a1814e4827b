// kestrel-cli: lists and extracts archives through the engine, for scripts and tests.
#include <cstdio>

int main(int argc, char** argv) {
    (void)argv;
    if (argc < 2) {
        std::fputs("usage: kestrel-cli list ARCHIVE\n       kestrel-cli extract ARCHIVE DEST [ENTRY...]\n",
                   stderr);
        return 2;
    }
    std::fputs("kestrel-cli: not available yet\n", stderr);
    return 2;
}
