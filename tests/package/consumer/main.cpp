// A program outside the project, built only against the installed package: it checks a
// few results so that a broken install (missing header, symbol or dependency) fails.
#include <nvsupport/nvsupport.h>

#include <cstdio>
#include <cstring>

int main() {
    int failures = 0;
    auto check = [&](bool ok, const char* what) {
        if (!ok) {
            std::fprintf(stderr, "consumer: %s failed\n", what);
            ++failures;
        }
    };
    char* end = nullptr;
    double r = sp_ConvertEngToReal("4k7", &end);
    check(r > 4699.9 && r < 4700.1 && *end == 0, "sp_ConvertEngToReal");
    JString line(JString("R1").concat(" 1 2 ").concat(*sp_FormatEng(r, 6, false, false)));
    check(std::strcmp(*line, "R1 1 2 4.7k  ") == 0, "JString concat");
    check(line == "r1 1 2 4.7K  ", "case-blind equality");
    complex z = sqrt(complex(-4, 0));
    check(z.im > 1.999 && z.im < 2.001, "complex sqrt");
    RandomSeed seed = 1;
    check(sp_Random(&seed) == 16807, "sp_Random");
    void* p = tmalloc(16);
    check(p && static_cast<unsigned char*>(p)[15] == 0, "tmalloc");
    txfree(p);
    return failures ? 1 : 0;
}
