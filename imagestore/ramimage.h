/*
 * ramimage.h --
 *
 *	The RAM image store: the registry of named images, opening files and
 *	defining memory images from descriptors, use counts, script opens, the
 *	lock, clients and their notification, and the sizing of each image's
 *	row cache. Records are declared in <tesk_image.h>.
 */
#ifndef TESK_IMAGESTORE_RAMIMAGE_H
#define TESK_IMAGESTORE_RAMIMAGE_H

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>
#include "tesk_image.h"

/* Attribute bits the store keeps for itself beside RAMIMG_LOCKED. */
enum {
    RAMIMG_READONLY = 2, /* the file could only be opened for reading */
    RAMIMG_WARNED = 4,   /* the read-only refusal was reported */
    RAMIMG_RESIDENT = 8, /* every row in memory, the file closed until needed */
    RAMIMG_FRAMES = 16,  /* the file holds frames that its write-back would drop: puts refused */
    RAMIMG_PRIVATE_ATTRS = RAMIMG_READONLY | RAMIMG_WARNED | RAMIMG_RESIDENT | RAMIMG_FRAMES
};

/* Zeroes a descriptor and gives it the grey palette (entry i = i, i, i). */
void imgDescInit(ImageDesc *desc);
/* Checks what the store relies on: sizes at least 1, known pixel type, a
 * row and an image that fit in memory; palette count clamped to 0..256.
 * False with the reason in why. */
bool imgDescCheck(ImageDesc *desc, std::string *why);
/* Bytes of one cached row of one band for a pixel type. */
int32_t rowBytesFor(int pixel, int columns);

RamImage *ramImageListHead();
RamImage *ramImageFindByTag(const char *name);
RamImage *ramImageFindByFile(const char *name);
void ramImageRegister(const char *tag, RamImage *image);
void ramImageUnlink(RamImage *image);

/*
 * ramImageReadsFile --
 *	True when writing a file named path (through a replacement) would
 *	replace a file that image reads, or with image NULL any image of the
 *	store: its own file or the file holding its pixels, under any name
 *	(links followed, see sameReplaceTarget). A tool refuses such an output
 *	name, given or derived, unless it writes its input in place by design.
 */
bool ramImageReadsFile(const RamImage *image, const char *path);

/* What one run of a tool made: every new file and every new memory image,
 * in the order they were made. A file is recorded by the name it was made
 * under (links resolved: a link given as the output is the user's and
 * stays) with that name's device and inode when it was made. */
struct RamImageMade {
    std::vector<std::string> files;  /* canonical names that did not exist before */
    std::vector<dev_t> devices;      /* each name's device and inode as made (lstat), */
    std::vector<ino_t> inodes;       /* so that only that very file is taken away */
    std::vector<std::string> memory; /* tags of memory images defined anew */
};

/*
 * ramImageNoteMade --
 *	While made is not NULL, ramImageNewFile (and so ramImageCreate) notes
 *	in it every file it makes under a name that did not exist before, and
 *	ramImageCreate every memory image it defines anew; answers the record
 *	set before. The rimage tool dispatcher sets one around every tool run
 *	and takes what a failed run made away again (ramImageDropMade).
 */
RamImageMade *ramImageNoteMade(RamImageMade *made);
/* Notes the file at path, just made under a name that did not exist
 * before, in the record set (nothing when none is): for a tool that makes
 * an output file other than by ramImageNewFile. */
void ramImageNoteMadeFile(const char *path);
/* True when path itself (lstat: a symbolic link is never a made file)
 * is a plain file that the record set notes as made by this run, still
 * that very file (device and inode): the only kind of name a failed run
 * may take away. With no record set (a tool called outside the
 * dispatcher) true for any plain file at path: the caller's own knowledge
 * of what it made stands. */
bool ramImageMadeAnew(const char *path);
/* Removes the name path when ramImageMadeAnew answers true for it: the
 * one way a tool takes away a file it made. The record forgets the file,
 * whose inode may be given to a file made later. True when it was
 * removed. */
bool ramImageRemoveMade(const char *path);
/*
 * ramImageDropMade --
 *	Takes away what made notes, newest first: a memory image's script open
 *	closed; a file's image closed when scripts hold it open and the name
 *	removed while it still is the file that was made. made is emptied.
 */
void ramImageDropMade(RamImageMade *made);

/* Finds, opens or defines an image (see the store's rules); raises a use or
 * attaches client. NULL with *error (RAMIMG_*) on failure. */
RamImage *ramImageOpen(const char *tag, const char *fileName, ImageDesc *desc, RamImageClient *client, int *error);
/* Creates a memory image (held like a script open) or a new file image. */
RamImage *ramImageCreate(ImageDesc *desc, RamImageClient *client, int overwrite, int *error);
/* Gives back client (or a use); frees the image when nothing holds it and
 * it is not locked. Answers the uses left (0 when freed or kept by lock). */
int ramImageRelease(RamImage *image, RamImageClient *client);
/* One more use for the caller, given back with ramImageRelease. */
void ramImageHold(RamImage *image);
/* Counts a script open (rimage open): with held non-zero the use the caller
 * holds from ramImageOpen becomes the open; with held 0 an open is added to
 * an image the caller found without taking a use. */
void ramImageScriptOpen(RamImage *image, int held);
/* The use the caller holds becomes the image's script open, unless scripts
 * hold it open already (a create made again in place keeps their count). */
void ramImageKeepOpen(RamImage *image);
/* Gives back one script open and frees the image when nothing holds it any
 * more. Answers the opens left, or -1 (nothing changed) when there was none;
 * after 0 the image may be gone. */
int ramImageScriptClose(RamImage *image);
RamImage *ramImageOpenFile(const char *fileName, ImageDesc *desc, RamImage *reuse, int *error);
/*
 * ramImageFileTakes --
 *	Whether the image, open on its file, may take desc in place of its
 *	descriptor: desc passes the checks of an open (imgDescCheck, the file
 *	holding the pixel data desc claims from its offset on), and a header
 *	offset, frame position (top, left) or byte order that desc changes is
 *	one a file can have (offset, top and left 0 or more, byte order 0 or
 *	1). False (the reason on standard error) when it may not.
 */
bool ramImageFileTakes(const RamImage *image, ImageDesc *desc);
RamImage *ramImageNewMemory(ImageDesc *desc, RamImage *reuse, int *error);
RamImage *ramImageReload(const char *fileName, ImageDesc *desc, RamImage *image, int *error);
/* After the file (device, inode) was replaced by a new file at path, moves
 * every image still reading the old one to the new file in its own record
 * (desc for a headerless file, else detection) and tells its clients. */
void ramImageFollowFile(const char *path, dev_t device, ino_t inode, ImageDesc *desc);
/* Creates desc's file (newImageFile: header and initial contents, the
 * file replaced safely) and moves the images that had a replaced file
 * open to the new one; a file made under a new name is noted in the
 * record of what the run made (ramImageNoteMade). 0, or -1 with nothing
 * changed. */
int ramImageNewFile(ImageDesc *desc);
int ramImageAttachData(RamImage *image, unsigned char *data, int64_t size);
void ramImageFree(RamImage *image);
unsigned int ramImageSetAttr(RamImage *image, unsigned int attr);

int ramImageAddClient(RamImageClient *client, RamImage *image);
int ramImageRemoveClient(RamImageClient *client, RamImage *image);
void ramImageNotifyClients(RamImage *image, int senderId, int flags);
void ramImageNotifyRect(RamImage *image, int senderId, int x, int y, int width, int height);

const char *ramImageErrorText(int code);
void ramImagePrintError(int code);

/* Makes the rows of a new or redefined image: a row cache of depth rows
 * per band (by image type), every row empty. Answers the depth allocated,
 * 0 on failure. */
int setRAMImageBuf(RamImage *image, int depth);
/* Re-sizes the row cache to depth rows per band keeping the pixels (an
 * image that holds its only copy of them keeps its cache). Answers the
 * depth, 0 on failure. */
int ramImageResizeCache(RamImage *image, int depth);

#endif /* TESK_IMAGESTORE_RAMIMAGE_H */
