#pragma once
// The -ASCII batch mode: data files converted to ASCII files, no window.
#include <string>
#include <vector>

namespace skyh {

// Switches the log on, logs the two start lines, and converts the file after
// each "-ASCII" (case-sensitive; a trailing one is passed over). `arguments`
// leaves out the program's own name. An input that cannot be converted is
// also said on stderr; the exit code is 1 when any input failed, else 0.
int RunBatchConversion(const std::vector<std::string>& arguments, const std::string& commandLine);

// One data file to ASCII files beside it (base name below), with the log
// lines of the batch mode on failure. A file whose parse stopped short of its
// end is converted as far as it was read and reported on stderr and in the
// log ("damaged at byte ..."): kDamaged, a failure for the callers.
enum class ConvertResult { kConverted, kCannotOpen, kCannotWrite, kDamaged };
ConvertResult ConvertDataFile(const std::string& input);

// The output base name: the input with its file name lower-cased and cut
// before its first ".k8"; the folder part is kept as it is.
std::string BatchBaseName(const std::string& inputPath);

}  // namespace skyh
