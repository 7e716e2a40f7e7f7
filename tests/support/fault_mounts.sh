#!/bin/sh
# Host side of the file-system fault tests: small size-limited or read-only file systems, and
# Wine drive letters that point at them. A Windows test starts this through Wine as a host
# program, which it cannot wait on, so the outcome goes to a result file that the test polls:
# "ok", or "refused: <why>" when the host does not allow mounting (the test then skips), or
# "failed: <why>".
#   usage: fault_mounts.sh RESULT_FILE mount DIR SIZE_KB
#          fault_mounts.sh RESULT_FILE remount DIR ro|rw
#          fault_mounts.sh RESULT_FILE unmount DIR
#          fault_mounts.sh RESULT_FILE map-drive DOSDEVICES LETTER DIR
#          fault_mounts.sh RESULT_FILE unmap-drive DOSDEVICES LETTER
result=$1
command=$2
shift 2

answer() {
  # Written under another name first, so the test never reads half a line.
  printf '%s' "$1" >"$result.part" && mv "$result.part" "$result"
  exit 0
}

case "$command" in
mount)
  dir=$1 size=$2
  mkdir -p "$dir" || answer "failed: cannot create $dir"
  if ! output=$(mount -t tmpfs -o "size=${size}k,mode=0777" tmpfs "$dir" 2>&1); then
    answer "refused: mounting a tmpfs is not permitted here (root or CAP_SYS_ADMIN needed): $output"
  fi
  answer ok
  ;;
remount)
  dir=$1 mode=$2
  output=$(mount -o "remount,$mode" "$dir" 2>&1) || answer "failed: remount $mode: $output"
  answer ok
  ;;
unmount)
  dir=$1
  output=$(umount "$dir" 2>&1) || answer "failed: umount: $output"
  answer ok
  ;;
map-drive)
  dosdevices=$1 letter=$2 dir=$3
  link="$dosdevices/$letter:"
  [ -e "$link" ] || [ -L "$link" ] && answer "failed: drive $letter: is already mapped"
  ln -s "$dir" "$link" || answer "failed: cannot link $link"
  answer ok
  ;;
unmap-drive)
  dosdevices=$1 letter=$2
  rm -f "$dosdevices/$letter:" || answer "failed: cannot remove the link of $letter:"
  answer ok
  ;;
*)
  answer "failed: unknown command $command"
  ;;
esac
