// Times the parse of damaged documents whose repair must stay linear in their
// size: runs of alternating elements left unended, and end tags that match no
// open element under a deep stack. Doubling the size should double the time.
//
//   build/bench/catalog/xml_damage_bench [largest size, default 64000]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "catalog/xml/xml_doc.h"

using namespace parvola;

namespace {

std::string alternating(int n) {
    std::string text = "<r>";
    for (int i = 0; i < n; ++i)
        text += "<a><b>";
    for (int i = 0; i < n; ++i)
        text += "<c/>";
    for (int i = 0; i < n; ++i)
        text += "</a>";
    return text + "</r>";
}

std::string unmatchedEndTags(int n) {
    std::string text = "<r>";
    for (int i = 0; i < n; ++i)
        text += "<a>";
    for (int i = 0; i < n; ++i)
        text += "</b>";
    return text + "</r>";
}

// Best of three parses, in milliseconds.
double parseMs(const std::string& text) {
    double best = 1e30;
    for (int round = 0; round < 3; ++round) {
        XmlDoc doc;
        auto start = std::chrono::steady_clock::now();
        doc.setText(text);
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    int largest = argc > 1 ? std::atoi(argv[1]) : 64000;
    std::printf("%-10s %-12s %12s %-12s %12s\n", "n", "alternating", "ms", "unmatched", "ms");
    for (int n = 4000; n <= largest; n *= 2) {
        std::string a = alternating(n);
        std::string u = unmatchedEndTags(n);
        std::printf("%-10d %-12zu %12.2f %-12zu %12.2f\n", n, a.size(), parseMs(a), u.size(),
                    parseMs(u));
    }
    return 0;
}
