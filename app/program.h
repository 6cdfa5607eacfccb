// What the program opens: one window titled (and classed) "Brimvalk Test.", its client area
// 1024x768, windowed. The entry sequence and every tool that runs the program use these.
#ifndef BRIMVALK_PROGRAM_H
#define BRIMVALK_PROGRAM_H

const char kProgramTitle[] = "Brimvalk Test.";
const int kProgramTitleLength = sizeof kProgramTitle - 1;
const int kProgramWidth = 1024;
const int kProgramHeight = 768;
const int kProgramWindowed = 1;

#endif
