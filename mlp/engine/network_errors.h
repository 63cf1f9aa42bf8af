#pragma once

// Messages the network model and its file reader throw with.

// Any failed allocation while building a network (OutOfMemoryException).
inline constexpr char kNetworkOutOfMemoryText[] = "Out of Memory!";
// An order other than 1, 2 or 3 in a description or a network block (IllegalOrderException).
inline constexpr char kIllegalOrderText[] = "Order of neurons must be 1, 2 or 3";
// Answer / AnswerWithDerivatives with the wrong vector lengths (IllegalSizeException).
inline constexpr char kAnswerSizeMismatchText[] = "question-answer sizes don't match network inputs-outputs";
// A wrong marker or a block that ends early (IllegalDataFormatException).
inline constexpr char kDataFormatText[] = "data format doesn't match to expected one";
