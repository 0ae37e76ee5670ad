// gen_landscape: writes a synthetic landscape of any size from a seed, as a
// qorp file, a text rates file and/or a binary rates file.
//   gen_landscape --states N [--seed S] [--length L] [--qorp F] [--rates F] [--bin F]
#include <cstdint>
#include <string_view>

#include "generator.h"
#include "landscape.h"

int main(int argc, char** argv) {
  const generator::Tool tool{"gen_landscape",
                             "usage: gen_landscape --states N [--seed S] [--length L] "
                             "[--qorp FILE] [--rates FILE] [--bin FILE]\n"};
  uint64_t states = 0, seed = 1, length = 60;
  const char* qorp = nullptr;
  const char* rates = nullptr;
  const char* bin = nullptr;
  tool.ForEachOption(argc, argv, [&](std::string_view option, const char* value) {
    if (option == "--states") {
      states = tool.Whole(option, value, 1, 100000000);
    } else if (option == "--seed") {
      seed = tool.Whole(option, value, 0, UINT64_MAX);
    } else if (option == "--length") {
      length = tool.Whole(option, value, 1, 100000);
    } else if (option == "--qorp") {
      qorp = value;
    } else if (option == "--rates") {
      rates = value;
    } else if (option == "--bin") {
      bin = value;
    } else {
      return false;
    }
    return true;
  });
  if (states == 0) tool.Die("--states is required");
  if (bin != nullptr && states * states > 0xffffffffULL) {
    tool.Die("too many states for a binary rates file (n*n must fit 32 bits)");
  }

  const landscape::Landscape land =
      landscape::MakeLandscape(static_cast<int>(states), seed, static_cast<int>(length));
  if (qorp != nullptr && !landscape::WriteQorp(land, qorp)) tool.CannotWrite(qorp);
  if (rates != nullptr && !landscape::WriteTextRates(land, rates)) tool.CannotWrite(rates);
  if (bin != nullptr && !landscape::WriteBinaryRates(land, bin)) tool.CannotWrite(bin);
  return 0;
}
