#!/usr/bin/env bash
# make_env.sh OUT_DIR AGENT_BINARY: builds the open restore environment from
# Debian's i386 packages:
#   OUT_DIR/vmlinuz       the kernel of linux-image-686
#   OUT_DIR/initrd.xz     initramfs: busybox, wimlib-imagex, ntfs-3g, mkntfs,
#                         ntfslabel, the shared libraries they need, the GBK
#                         converter of glibc, the storage and file system
#                         modules, /init (beside this script) and the agent
#                         as /bin/kavi-agent
#   OUT_DIR/KV.ima        FAT image with /KAVIENV, /KAVI/VMLINUZ and
#                         /KAVI/INITRD.XZ, as the loader looks for them
#   OUT_DIR/versions.txt  "package version" of every package used
# Packages are fetched with apt-get download and unpacked with dpkg-deb into
# KAVI_ROOT/build/restore-cache (kept by name and version, so a second build
# downloads nothing); nothing is installed on this machine.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -eq 2 ] || { echo "usage: make_env.sh OUT_DIR AGENT_BINARY" >&2; exit 2; }
out="$1"
agent="$2"
root="${KAVI_ROOT:-$(cd "$here/../.." && pwd)}"
cache="$root/build/restore-cache"
arch=i386
die() { echo "make_env: $*" >&2; exit 1; }
trap 'echo "make_env: failed at line $LINENO" >&2' ERR
[ -f "$agent" ] || die "no agent at $agent"
for tool in apt-get apt-cache dpkg-deb readelf strip depmod xz mkfs.fat mcopy python3 icupkg as ld; do
  command -v "$tool" >/dev/null || die "needs $tool"
done

# Package records, read with one apt-cache call per batch of names (each call
# costs a second: it reads all the package lists).
declare -A version_known depends_known
learn() {
  local names=() name version deps
  for name in "$@"; do
    [ -n "${version_known[$name]+x}" ] && continue
    names+=("$name:$arch")
    version_known[$name]= # no such package unless apt-cache says otherwise
  done
  [ ${#names[@]} -gt 0 ] || return 0
  while IFS=$'\t' read -r name version deps; do
    version_known[$name]="$version"
    depends_known[$name]="$deps"
  done < <(apt-cache show --no-all-versions "${names[@]}" 2>/dev/null | awk '
    /^Package: / { p = $2; v = ""; d = "" }
    /^Version: / { v = $2 }
    /^Depends: / { d = substr($0, 10) }
    /^$/ && p != "" { print p "\t" v "\t" d; p = "" }
    END { if (p != "") print p "\t" v "\t" d }')
}
candidate() { learn "$1"; echo "${version_known[$1]}"; }
# depends NAME: the packages NAME depends on (first of each alternative).
depends() {
  learn "$1"
  echo "${depends_known[$1]:-}" | tr ',' '\n' |
    sed 's/|.*//; s/(.*)//; s/:any//; s/[[:space:]]//g' | grep -v '^$' || true
}

learn busybox-static wimtools libwim15 ntfs-3g libntfs-3g89 libc6 linux-image-686
if [ -z "$(candidate wimtools)" ]; then
  echo "make_env: no i386 package lists yet; running apt-get update"
  if [ "$(id -u)" -eq 0 ]; then apt-get update -qq; else sudo apt-get update -qq; fi
  version_known=()
  [ -n "$(candidate wimtools)" ] || die "no i386 packages (dpkg --add-architecture i386, then apt-get update)"
fi

mkdir -p "$cache/debs" "$cache/trees" "$out"
declare -A tree_of version_of used
fetched=()

# fetch NAME: the candidate i386 package NAME, unpacked; sets tree_of[NAME].
fetch() {
  local name="$1" version key deb tree dl kdir
  [ -n "${tree_of[$name]:-}" ] && return 0
  learn "$name"
  version="${version_known[$name]}"
  [ -n "$version" ] || die "no i386 package $name"
  key="${name}_${version//:/%3a}"
  deb="$cache/debs/$key.deb"
  tree="$cache/trees/$key"
  if [ ! -s "$deb" ]; then
    dl="$(mktemp -d "$cache/dl.XXXXXX")"
    chmod 755 "$dl"
    (cd "$dl" && apt-get download -qq "$name:$arch=$version" 2>&1 | grep -v "unsandboxed" || true)
    mv "$dl"/*.deb "$deb" || die "apt-get download $name=$version failed"
    rm -rf "$dl"
  fi
  if [ ! -d "$tree" ]; then
    # Unpacked beside and renamed into place, so that a build running at the
    # same time never sees half a tree. A kernel gets its module index here.
    local part
    part="$(mktemp -d "$cache/trees/.part.XXXXXX")"
    dpkg-deb -x "$deb" "$part"
    for kdir in "$part"/lib/modules/*/; do
      [ -d "$kdir" ] && depmod -b "$part" "$(basename "$kdir")"
    done
    mv -T "$part" "$tree" 2>/dev/null || rm -rf "$part"
  fi
  tree_of[$name]="$tree"
  version_of[$name]="$version"
  fetched+=("$name")
}

stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
rootfs="$stage/root"
mkdir -p "$rootfs"/{bin,sbin,usr/bin,usr/sbin,dev,proc,sys,run,tmp,lib} "$rootfs/usr/lib/$arch-linux-gnu"
chmod 1777 "$rootfs/tmp"

is_elf() { [ "$(head -c4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]; }

# put NAME REL: copies REL of package NAME's tree to the same place in the
# initramfs, and queues it for the library search.
declare -A placed owner
queue=()
put() {
  local name="$1" rel="$2" src="${tree_of[$1]}/$2"
  [ -e "$src" ] || die "$name has no /$rel"
  [ -n "${placed[$rel]:-}" ] && return 0
  mkdir -p "$rootfs/$(dirname "$rel")"
  if [ -L "$src" ]; then
    # Keep the link (the loader's name, a library's soname) and bring its
    # target from the same package.
    local target
    target="$(readlink "$src")"
    ln -s "$target" "$rootfs/$rel"
    placed[$rel]=1
    case "$target" in
      /*) put "$name" "${target#/}" ;;
      *) put "$name" "$(realpath -m -s "/$(dirname "$rel")/$target" | cut -c2-)" ;;
    esac
    return 0
  fi
  cp "$src" "$rootfs/$rel"
  placed[$rel]=1
  owner[$rel]="$name"
  used[$name]=1
  queue+=("$rel")
}

# -- Programs ---------------------------------------------------------------
for p in busybox-static wimtools libwim15 ntfs-3g libntfs-3g89 libc6; do fetch "$p"; done
put busybox-static bin/busybox
ln -s busybox "$rootfs/bin/sh"
put wimtools usr/bin/wimlib-imagex
for tool in ntfs-3g mkntfs ntfslabel; do
  rel="$(cd "${tree_of[ntfs-3g]}" && find bin sbin usr/bin usr/sbin -name "$tool" -type f 2>/dev/null | head -n1 || true)"
  [ -n "$rel" ] || die "ntfs-3g has no $tool"
  put ntfs-3g "$rel"
done
cp "$agent" "$rootfs/bin/kavi-agent"
chmod 755 "$rootfs/bin/kavi-agent"
# The build tree's agent carries its debug information; the machine needs none.
if is_elf "$rootfs/bin/kavi-agent"; then strip "$rootfs/bin/kavi-agent"; fi
placed[bin/kavi-agent]=1
owner[bin/kavi-agent]=agent
queue+=(bin/kavi-agent)
install -m 755 "$here/init" "$rootfs/init"

# glibc's converter for code page 936 and the configuration naming it.
gconv="usr/lib/$arch-linux-gnu/gconv"
put libc6 "$gconv/GBK.so"
put libc6 "$gconv/gconv-modules"
for conf in "${tree_of[libc6]}/$gconv/gconv-modules.d"/*.conf; do
  [ -e "$conf" ] && put libc6 "$gconv/gconv-modules.d/$(basename "$conf")"
done
grep -qs '^module.*GBK//' "$rootfs/$gconv/gconv-modules" "$rootfs/$gconv/gconv-modules.d"/*.conf ||
  die "gconv configuration does not name GBK"

# -- Shared libraries ---------------------------------------------------------
# Every NEEDED entry of every ELF file placed, transitively, from the packages
# fetched so far; a name none of them has is looked for in the dependencies
# of the package whose file needs it.
find_lib() {
  local soname="$1" name dir
  for name in "${fetched[@]}"; do
    for dir in lib/$arch-linux-gnu usr/lib/$arch-linux-gnu lib usr/lib; do
      if [ -e "${tree_of[$name]}/$dir/$soname" ]; then
        echo "$name $dir/$soname"
        return 0
      fi
    done
  done
  return 1
}

i=0
while [ $i -lt ${#queue[@]} ]; do
  rel="${queue[$i]}"
  i=$((i + 1))
  file="$rootfs/$rel"
  is_elf "$file" || continue
  interp="$(readelf -lW "$file" | sed -n 's/.*Requesting program interpreter: \(.*\)\]/\1/p')"
  if [ -n "$interp" ] && [ -z "${placed[${interp#/}]:-}" ]; then
    put libc6 "${interp#/}"
  fi
  for soname in $(readelf -dW "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    found="$(find_lib "$soname")" || {
      deps="$(depends "${owner[$rel]}")"
      learn $deps
      for dep in $deps; do
        [ -z "${version_known[$dep]}" ] || fetch "$dep"
      done
      found="$(find_lib "$soname")" || die "$rel needs $soname, which no package fetched has"
    }
    put ${found% *} "${found#* }"
  done
done

# ICU's data library, which libxml2 brings along for wimlib, is most of the
# archive; only its character set converters stay (trim_icu_data.py).
for lib in "$rootfs"/usr/lib/$arch-linux-gnu/libicudata.so.*; do
  [ -f "$lib" ] && [ ! -L "$lib" ] && python3 "$here/trim_icu_data.py" "$lib" "$stage/icu"
done

# -- Kernel and modules ---------------------------------------------------------
kernel_pkg="$(depends linux-image-686 | grep '^linux-image-' | head -n1)"
[ -n "$kernel_pkg" ] || die "linux-image-686 names no kernel package"
fetch "$kernel_pkg"
used[$kernel_pkg]=1
ktree="${tree_of[$kernel_pkg]}"
kver="$(basename "$(ls -d "$ktree"/lib/modules/*/ | head -n1)")"
[ -f "$ktree/boot/vmlinuz-$kver" ] || die "$kernel_pkg has no boot/vmlinuz-$kver"
[ -s "$ktree/lib/modules/$kver/modules.dep" ] || die "$kernel_pkg was unpacked without its module index"

# Storage: IDE/PATA and SATA/AHCI (all of drivers/ata), NVMe (and Intel VMD,
# which hides NVMe disks on many laptops), USB disks and their host
# controllers, virtio, common RAID and HBA drivers, the disks hypervisors
# offer; then FUSE for ntfs-3g, and FAT with the code pages the agent reads.
wanted='^kernel/(drivers/ata/|drivers/nvme/host/|drivers/pci/controller/vmd\.|drivers/usb/storage/|drivers/usb/host/(xhci|ehci|ohci|uhci)[-_]|drivers/virtio/|drivers/block/virtio_blk\.|drivers/scsi/virtio_scsi\.|drivers/scsi/sd_mod\.|drivers/scsi/(megaraid|mpt3sas|mpi3mr|aacraid|arcmsr|mvsas|isci|pm8001|smartpqi)/|drivers/scsi/(hpsa|megaraid|3w-9xxx|3w-sas|hptiop|stex|vmw_pvscsi|hv_storvsc|BusLogic)\.|drivers/message/fusion/|drivers/hv/hv_vmbus\.|drivers/block/xen-blkfront\.|fs/fuse/fuse\.|fs/fat/vfat\.|fs/nls/nls_(cp437|cp936|utf8|iso8859-1)\.)'
moddir="lib/modules/$kver"
modules="$(awk -v re="$wanted" '{ sub(":", "", $1); if ($1 ~ re) for (i = 1; i <= NF; i++) print $i }' \
  "$ktree/$moddir/modules.dep" | sort -u)"
# The ones the environment cannot do without, as modules or built in.
for m in ata_piix ahci nvme virtio_blk virtio_pci virtio_scsi usb_storage uas xhci_pci ehci_pci sd_mod \
  fuse vfat nls_cp437 nls_cp936 nls_utf8 nls_iso8859_1; do
  pattern="/${m//_/[-_]}\.ko"
  echo "$modules" | grep -q "$pattern" || grep -q "$pattern" "$ktree/$moddir/modules.builtin" ||
    die "$kernel_pkg has no module $m"
done
for m in $modules; do
  mkdir -p "$rootfs/$moddir/$(dirname "$m")"
  cp "$ktree/$moddir/$m" "$rootfs/$moddir/$m"
done
for f in modules.order modules.builtin modules.builtin.modinfo; do
  [ -e "$ktree/$moddir/$f" ] && cp "$ktree/$moddir/$f" "$rootfs/$moddir/"
done
depmod -b "$rootfs" "$kver"

# -- Archive and image ----------------------------------------------------------
: > "$stage/versions.txt"
for name in $(printf '%s\n' "${!used[@]}" | sort); do
  echo "$name ${version_of[$name]}" >> "$stage/versions.txt"
done
python3 "$here/mkcpio.py" "$rootfs" "$stage/initrd.cpio" dev/console:c:5:1:600 dev/null:c:1:3:666
# The same tree gives the same archive, so its compressed form is kept by
# content and a rebuild with nothing changed skips the compression. crc32:
# the kernel's xz decoder checks no other kind; the 8 MiB dictionary is what
# the decoder allocates while unpacking.
sum="$(sha256sum "$stage/initrd.cpio" | cut -c1-32)"
mkdir -p "$cache/initrd"
if [ ! -s "$cache/initrd/$sum.xz" ]; then
  # Keep the last few: several build trees may share this cache.
  ls -t "$cache/initrd"/*.xz 2>/dev/null | tail -n +4 | xargs -r rm -f
  xz --check=crc32 --lzma2=preset=6,dict=8MiB -T0 -c "$stage/initrd.cpio" > "$stage/initrd.xz"
  cp "$stage/initrd.xz" "$cache/initrd/$sum.xz.$$"
  mv "$cache/initrd/$sum.xz.$$" "$cache/initrd/$sum.xz"
else
  cp "$cache/initrd/$sum.xz" "$stage/initrd.xz"
fi
cp "$ktree/boot/vmlinuz-$kver" "$stage/vmlinuz"

printf 'Kavi restore environment\r\nkernel %s\r\n' "$kver" > "$stage/KAVIENV"
# Just big enough: the files in 4 KiB clusters, plus room for the FAT and
# the directories.
kib=$(( ($(stat -c %s "$stage/vmlinuz") + 4095) / 4096 * 4 + ($(stat -c %s "$stage/initrd.xz") + 4095) / 4096 * 4 ))
kib=$((kib + kib / 100 + 128))
rm -f "$stage/KV.ima"
mkfs.fat -C -s 8 -n KAVIENV -i 4b415649 "$stage/KV.ima" "$kib" >/dev/null
export MTOOLS_SKIP_CHECK=1
mcopy -i "$stage/KV.ima" "$stage/KAVIENV" ::/KAVIENV
mmd -i "$stage/KV.ima" ::/KAVI
mcopy -i "$stage/KV.ima" "$stage/vmlinuz" ::/KAVI/VMLINUZ
mcopy -i "$stage/KV.ima" "$stage/initrd.xz" ::/KAVI/INITRD.XZ

for f in vmlinuz initrd.xz KV.ima versions.txt; do
  cp "$stage/$f" "$out/$f.tmp"
  mv "$out/$f.tmp" "$out/$f"
done
cat "$out/versions.txt"
for f in vmlinuz initrd.xz KV.ima; do
  printf '%-10s %9d bytes\n' "$f" "$(stat -c %s "$out/$f")"
done
