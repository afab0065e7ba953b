// Tessaly: file-type codes of the formats the system knows.
#pragma once

namespace tessaly {

enum TFileType : int {
  ftUnknown = 0,
  ftTIFF = 1,
  ftGIF = 2,
  ftJPEG = 3,
  ftPCX = 4,
  ftBMP = 5,
  ftICO = 6,
  ftCUR = 7,
  ftPNG = 8,
  ftWMF = 9,
  ftEMF = 10,
  ftTGA = 11,
  ftPXM = 12,
  ftJP2 = 13,
  ftJ2K = 14,
  ftAVI = 15,
  ftWBMP = 16,
  ftPS = 17,
  ftPDF = 18,
  ftDCX = 19,
  ftRAW = 20,
  ftBMPRAW = 21,
  ftPSD = 24,
  ftIEV = 25,
  ftLYR = 26,
  ftALL = 27,
  ftDICOM = 28,
  ftHDP = 29,
};

}  // namespace tessaly
