// An uncaught error names this file and the line of the call that failed.

BWFParser['initWithPath:']();
