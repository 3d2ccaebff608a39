// Reduction of a page (code page 936) to what a reader would see, in one line.
// Both functions are pure (no shared state): any thread may call them.
#pragma once

#include <string>

// The reduction, in four steps:
//  1. "&lt;" and "&gt;" are read as "<" and ">" (no other reference is
//     touched);
//  2. line feeds, carriage returns and spaces are dropped; then, walking the
//     rest as code page 936 characters, full-width spaces (A1 A1) and tabs are
//     dropped (B0 20 A1 A1 becomes B0 A1, A1; B0 09 A1 A1 keeps B0 only);
//  3. everything from a "<" to the next ">" is left out, the brackets too;
//  4. when nothing is left but the text of step 2 was not empty, the text of
//     step 2 is the result.
// ExtractVisibleTextPlain defines the result with one plain walk; the one the
// service uses, ExtractVisibleText, takes sixteen bytes at a time where it
// can, works in the text's own buffer and must give the same bytes for every
// input.
std::string ExtractVisibleText(std::string strText);

// True when ExtractVisibleText gives the text back unchanged: it holds no
// blank, tab, "&lt;" or "&gt;" and no two bytes A1 A1 in a row, and either no
// "<" or ">" or nothing outside markup. A result of the reduction mostly is
// such a text (a page of markup only gives back its markup), so it is its own
// reduction. False says nothing.
bool ReductionKeeps(const std::string& strText);
std::string ExtractVisibleTextPlain(std::string strText);
