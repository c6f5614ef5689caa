#pragma once
// zumble --verify-follow: verifies one round as it is played, its records coming on
// standard input as the player makes them (docs/replay-format.md, "Following a round"):
//   in:  KIND LENGTH "\n" then LENGTH bytes; KIND h (the header as the round began), f
//        (coded frames), e (the header as the round ended, then the rest of the file)
//   out: "swat N left=L flies=T clock_ms=C frame=F" after every swat, "frames N" when
//        the follower has played N frames and waits for more, and at the end the line
//        `zumble --verify` prints for the whole file, with its exit status.
// Waits for each record without spinning. Ends the process (it does not return).
int RunVerifyFollow(const char* program);
