// scoreview: draws a score of glissonscore, granulescore or additivescore as
// an SVG picture.
#include <iostream>
#include <string>
#include <vector>

#include "score_view.hpp"

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    return scoreview::runScoreView(arguments, std::cout, std::cerr);
}
