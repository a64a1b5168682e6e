#pragma once

// Markup and what its parse must answer: shared by the string and the file tests.

#include <cstdint>

namespace markup_cases {

struct ParseCase {
  const wchar_t* markup;
  bool ok;
  const wchar_t* message;   // on failure
  const wchar_t* location;  // on failure
  uint32_t nodes;           // on success, node 0 included
};

inline const ParseCase kParseCases[] = {
    // Empty elements, with and without a blank before "/>"; a blank after "<".
    {L"<Window/>", true, L"", L"", 2},
    {L"<Window />", true, L"", L"", 2},
    {L"< Label\t/>", true, L"", L"", 2},
    {L"", true, L"", L"", 1},
    {L" \r\n\t ", true, L"", L"", 1},
    // Comments and declarations.
    {L"<?xml version=\"1.0\"?><!-- note --><Window/>", true, L"", L"", 2},
    {L"<!-- a -> b --><Window/>", false, L"Expected start tag", L"b --><Window/>", 0},
    {L"<!DOCTYPE skin><Window/>", true, L"", L"", 1},
    {L"<Window><!-- inner --></Window>", true, L"", L"", 2},
    // Text before the first child is accepted, text after a child is not.
    {L"<Box>lead<Label/></Box>", true, L"", L"", 3},
    {L"<Box><Label/>tail</Box>", false, L"Expected start tag", L"tail</Box>", 0},
    {L"text", false, L"Expected start tag", L"text", 0},
    // Attribute syntax.
    {L"<a x='1'/>", false, L"Expected attribute value", L"'1'/>", 0},
    {L"<a data-x=\"1\"/>", false, L"Error while parsing attributes", L"-x=\"1\"/>", 0},
    {L"<a x/>", false, L"Error while parsing attributes", L"/>", 0},
    {L"<a x=\"1\" !>", false, L"Error while parsing attributes", L"!>", 0},
    {L"<a/b>", false, L"Error while parsing attributes", L">", 0},
    {L"<a x=\"1", false, L"Error while parsing attribute string", L"", 0},
    {L"<a x=\"1\"", false, L"Expected start-tag closing", L"", 0},
    {L"<a x=\"1\" ?>", false, L"Error while parsing attributes", L"?>", 0},
    {L"<a", false, L"Error parsing element name", L"", 0},
    {L"<a x=\"1\"]", false, L"Error while parsing attributes", L"]", 0},
    {L"<a x=\"1\"/ >", false, L"Expected start-tag closing", L"/ >", 0},
    // Open elements at the end of the text: accepted up to a child of the first element.
    {L"<Window>", true, L"", L"", 2},
    {L"<Window><Box>", true, L"", L"", 3},
    {L"<Window><Box>text", true, L"", L"", 3},
    {L"<Window><Box><Label>", false, L"Expected end-tag start", L"", 0},
    {L"<Window><Box><Label>text", false, L"Expected end-tag start", L"", 0},
    {L"<Window><Box><Label><x/>", false, L"Expected start tag", L"", 0},
    // End tags.
    {L"<ab></ab \t>", true, L"", L"", 2},
    {L"<ab></ abc>", false, L"Unmatched closing tag", L"c>", 0},
    {L"<abc></ab>", false, L"Unmatched closing tag", L"ab>", 0},
    {L"<a></a x>", false, L"Unmatched closing tag", L"x>", 0},
    {L"<a></a></b> rest is ignored <", true, L"", L"", 2},
    {L"<a/><b/><c/>", true, L"", L"", 4},
};

}  // namespace markup_cases
