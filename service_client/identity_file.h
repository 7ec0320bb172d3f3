// The machine's identity number for the service: 32 lowercase hex digits at the start of
// guid.ini in the data folder, followed by a comment block that explains the file.
#ifndef SERVICE_CLIENT_IDENTITY_FILE_H
#define SERVICE_CLIENT_IDENTITY_FILE_H

// The text written after the number.
extern const char kGuidFileComment[];

// A new random identity as 32 hex digits (all zeros when the system cannot make one), or null.
char* _ak_generateGuid(void);

// The identity in guid.ini when the file holds one; otherwise a new one, written so that the
// file begins with it. Null when memory runs out.
char* _ak_readOrGenerateGuid(void);

#endif
