/*
 * replace.h --
 *
 *	Safe replacement of a file: the new contents are written into a file
 *	beside the old one (same folder, so that a rename can put it in the old
 *	one's place) and renamed over it only once they are whole and on the
 *	disk. A failure at any step leaves the old file as it was and no new
 *	file behind. New files, rewrites of GIF, JPEG and X bitmap files all
 *	go through here.
 *
 *	The new file has no name while it is written where the file system
 *	allows (O_TMPFILE); it is named only to be renamed into place. Every
 *	name it takes beside the target is target + ".tmp" + the writer's
 *	process id + "-" + a number (the target's name cut short enough for
 *	that to fit a file name), so that a save killed part-way leaves at
 *	most that one name, and a later save of the same target removes such
 *	names whose writer is gone. Finding them costs a listing of the folder,
 *	so a process lists a folder at its first save there, and again only
 *	once others have changed it and the process has begun, since the last
 *	listing, a save there for every 64 names the folder held; between
 *	listings its saves look only at the names of that form that the last
 *	listing found. The new file has no
 *	access for group and others while it is written (mode 0600); the
 *	replaced file's owner, group, permission bits, access control list and
 *	other extended attributes (a file capability aside) are given to it as
 *	it takes the target's place, or where the target is new the bits any
 *	file made there gets. Other hard links of the replaced file keep the
 *	old contents.
 *
 *	The target is written in place where the new file cannot take its
 *	place with its owner and group kept: a folder that takes no new file
 *	(EACCES, EPERM, EROFS), a sticky folder where the writer may not put a
 *	file in place of another user's, and a file whose owner and group the
 *	new file cannot take (another user's file, or one of a group the writer
 *	is not in, for a writer that is not root). The target must exist and be
 *	writable. The new contents are written into a file of the writer's
 *	beside the target, or where the folder takes no new file, in the
 *	temporary folder ($TMPDIR, or /tmp when $TMPDIR takes no file), whose
 *	temporaries of the target are found and removed as those beside it;
 *	they are copied over the target at the commit. The old file is whole
 *	until then, but a failure during that copy can leave it partial; the
 *	target's other hard links see the new contents.
 */
#ifndef TESK_RUNTIME_REPLACE_H
#define TESK_RUNTIME_REPLACE_H

#include <string>
#include <sys/types.h>

/* One replacement under way. */
struct FileReplacement {
    std::string target;     /* the path renamed over: what a symbolic link names */
    std::string temporary;  /* the new file's name until the rename */
    int fd = -1;            /* the new file, open for reading and writing */
    bool replacing = false; /* a file exists at the target */
    dev_t oldDevice = 0;    /* the replaced file's device and inode, to find */
    ino_t oldInode = 0;     /* the images that have it open */
    bool unnamed = false;   /* the new file has no name yet: temporary is
                             * its /proc/self/fd name, valid while fd is open */
    bool inPlace = false;   /* the target is written in place (see above): the
                             * new contents are copied over it by the commit */
    int placeFd = -1;       /* inPlace: the target, open for writing */
    uid_t oldOwner = 0;     /* replacing: the old file's owner, group and */
    gid_t oldGroup = 0;     /* mode, given to the new file (the setuid and */
    mode_t oldMode = 0;     /* setgid bits just before it takes its place) */
    mode_t newMode = 0;     /* a new target: the permission bits a file made
                             * in its folder gets, given as it takes its place */
};

/*
 * replaceBegin --
 *	Opens a new, empty file beside path for *r. A file that exists at path
 *	must be a plain file that the caller may write (EACCES, as for a write
 *	in place, when not); the new one gets its permission bits, a new name
 *	gets mode 0666 less the umask. Through a symbolic link the file that
 *	the link names is replaced, or made when it is missing, and the link
 *	stays. Answers false (nothing made, errno telling why) when path
 *	names something else (EINVAL) or the file cannot be made. A file
 *	replaced keeps its owner and group: where the new file cannot take
 *	them, the target is written in place (r->inPlace). Removes the
 *	temporary names of the target whose writer is gone. The new file
 *	may have no name (r->unnamed): a writer that must open it by name
 *	begins with replaceBeginNamed.
 */
bool replaceBegin(FileReplacement *r, const char *path);

/*
 * replaceBeginNamed --
 *	replaceBegin for a writer of its own that opens the new file by name
 *	(Tk's photo write, an image made there): the new file exists under
 *	r->temporary from the start, beside the target, or in the temporary
 *	folder where the target is written in place.
 */
bool replaceBeginNamed(FileReplacement *r, const char *path);

/*
 * replaceFailure --
 *	The last failure of a replacement in this thread as a message that
 *	names the step and the name it failed on ("cannot create a file in
 *	FOLDER: Permission denied"); empty when the last replacement begun
 *	in this thread has not failed.
 */
std::string replaceFailure();

/*
 * replaceCommit --
 *	Puts the new file in the target's place: flushes it to the disk and
 *	renames it over the target. On true r->fd stays open on the file now
 *	at the target, for the caller to keep or close. On false the new file
 *	is closed and removed, and the target is as it was (in place: whole,
 *	unless the copy over it failed part-way; the room for the new contents
 *	is reserved on the target first where its file system reserves, so
 *	that a full disk or quota fails before the copy begins).
 */
bool replaceCommit(FileReplacement *r);

/*
 * replaceCommitNamed --
 *	replaceCommit for a replacement whose new contents a writer of its own
 *	put under r->temporary by that name (Tk's photo write, an image made
 *	there; begun with replaceBeginNamed): closes r->fd, flushes the file now under the temporary name to
 *	the disk and renames it over the target (or copies it over the target
 *	in place). On false the file under the temporary name is removed and
 *	the target is as it was.
 */
bool replaceCommitNamed(FileReplacement *r);

/* Gives the replacement up: the new file is closed and removed. */
void replaceAbandon(FileReplacement *r);

/*
 * replaceCommitAll --
 *	Commits the n replacements of r, each begun with replaceBegin and
 *	written, as one: either every target gets its new file, or none
 *	changes. Companion files (a table and its code page, a shape file and
 *	its index, a model and its materials) go through here. Every new file
 *	is flushed to the disk first, so that the renames are the only step
 *	left; each old file keeps a second name beside it until every rename
 *	has succeeded, and a failed rename puts the old files already replaced
 *	back under their names (a target that was new is removed). On true
 *	every r[i].fd stays open on the file now at its target, as with
 *	replaceCommit; on false every new file is closed and removed and errno
 *	tells why. Where the file system has no hard links, an old file is
 *	renamed to its second name just before its new file takes its place
 *	(the name is missing for that moment). Targets written in place (see
 *	the head of this file) are written last, once every rename has
 *	succeeded and the room for all of them is reserved; their old contents
 *	cannot be put back. Two replacements of one target are refused
 *	(EINVAL): ask sameReplaceTarget before beginning the second. On false,
 *	*failedAt (when given) is the index of the replacement whose step
 *	failed.
 */
bool replaceCommitAll(FileReplacement *r, size_t n, size_t *failedAt = nullptr);

/*
 * fixedNameIsLink --
 *	True when path, a fixed default output name (one the user did not
 *	give), is a symbolic link. Such a name is refused rather than followed:
 *	a link planted under it in the current folder would turn the write
 *	onto a file elsewhere. A name the user gives is written through links.
 */
bool fixedNameIsLink(const char *path);

/*
 * sameReplaceTarget --
 *	True when replacing a and replacing b would write one file: the same
 *	name, two names of one existing file, or two names that would make one
 *	new file (links followed, a link to a file not made yet too). A writer
 *	whose companion file takes a name derived from its main file's asks
 *	this before it writes either, so that the second never lands on the
 *	first.
 */
bool sameReplaceTarget(const char *a, const char *b);

/* The step of a whole-file replacement that failed (errno tells why). */
enum ReplaceStep { REPLACE_DONE = 0, REPLACE_OPEN, REPLACE_WRITE, REPLACE_COMMIT };

/* Makes n bytes the whole contents of path through a replacement (the
 * bytes written with writeAt) and closes the file. */
ReplaceStep replaceWithBytes(const char *path, const void *bytes, size_t n);

#endif /* TESK_RUNTIME_REPLACE_H */
