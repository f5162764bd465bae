#!/bin/sh
# Run in the server's empty temporary directory by support/slapd.h: a self-signed CA, a server
# certificate for 127.0.0.1 signed by it, the configuration, and the database loaded from the
# LDIF. $1 is this script's directory.
set -e
req="openssl req -newkey rsa:2048 -nodes -days 2"
$req -x509 -keyout ca.key -out ca.pem -subj /CN=LabCA
$req -keyout server.key -out server.csr -subj /CN=127.0.0.1
printf 'subjectAltName=IP:127.0.0.1\n' > ext
openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out server.pem \
  -extfile ext
cp "$1/slapd.conf" .
mkdir db
/usr/sbin/slapadd -f slapd.conf -l "$1/lab.ldif"
