// What the fuzz targets share: how a finding is reported, and the check that
// text shown on a terminal cannot steer it, made on its own decoding of UTF-8.
#ifndef ZT_TEST_SUPPORT_FUZZ_ORACLES_H_
#define ZT_TEST_SUPPORT_FUZZ_ORACLES_H_

#include <string>

// Reports a broken rule on stderr, with the text it was found in shown byte
// by byte, and aborts, so that the fuzzer keeps the input.
[[noreturn]] void finding(const std::string& what, const std::string& text);

// Which bytes that are no UTF-8 character steer a terminal: every one of
// 0x80 to 0x9F (C1 controls to an 8-bit terminal), or 0x9B alone (its
// control sequence introducer), for text that may be in a code page whose
// letters lie there.
enum class RawC1 { AllSteer, IntroducerSteers };

// What in `shown` would steer a terminal: a control character (C0, DEL, C1
// as UTF-8 writes it), a bidirectional embedding, override or isolate, or a
// raw byte that `raw` counts; empty when there is none.
std::string steersTerminal(const std::string& shown, RawC1 raw = RawC1::AllSteer);

// `text` with every byte outside printable ASCII written as \xNN.
std::string escapedBytes(const std::string& text);

#endif  // ZT_TEST_SUPPORT_FUZZ_ORACLES_H_
