// Assembly structure: the element walk under the matrix stack.
#pragma once

class CGraniteParser;
class CGraniteElement;

bool WalkElementList(CGraniteParser* parser);
bool WalkElement(CGraniteElement* element);
bool VisitPartElement(CGraniteElement* element);
