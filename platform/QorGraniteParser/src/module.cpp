// QorGraniteParser.
